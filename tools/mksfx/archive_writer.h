// Writing a new ZIP from folders and files, with only what the stub reads: Deflate, or Stored
// where Deflate does not pay; the DOS time and the NTFS times (extra field 0x000A, first in both
// headers); the read-only attribute; folder entries; names in the OEM code page or in UTF-8 with
// flag bit 11; AES (AE-2, method 99 with the 0x9901 field) or the traditional encryption when a
// password is given. Offsets are absolute in the output, where the ZIP starts after the stub.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "input_tree.h"
#include "output_file.h"

// How entries are enciphered under a password. AES keys come from the password in UTF-8, the
// traditional cipher from its 1252 bytes.
enum class Cipher { kTraditional, kAes128, kAes192, kAes256 };

struct PackOptions {
  int level = 9;           // 1 to 12
  bool store = false;      // no compression at all
  bool lzma = false;       // LZMA (method 14) rather than Deflate; files held whole only
  std::string password;    // code page 1252 bytes, as the stub's user types them; empty: none
  Cipher cipher = Cipher::kAes256;
  // AE-1: the CRC stays in the headers, for an authenticity record to cover (a signed archive).
  // Otherwise AE-2, whose CRC field is 0.
  bool aesKeepsCrc = false;
  // Files of this size and more are deflated as they are read, never held whole in memory.
  // Lower only in tests, which reach that path with small files.
  uint64_t streamFrom = 0xFFFFFFFFu;  // where sizes need ZIP64
};

struct PackSummary {
  size_t files = 0;
  size_t folders = 0;
  size_t storedFiles = 0;     // files kept as they are: empty, or Deflate did not pay
  uint64_t bytesIn = 0;       // of the files
  uint64_t bytesPacked = 0;   // their data in the archive (with encryption headers and codes)
  uint64_t archiveSize = 0;   // the ZIP: headers, data, directory and end record
};

// Called after each entry with the bytes of input it took.
using ProgressCallback = std::function<void(uint64_t bytes)>;

// Writes items (sorted, checked) as a ZIP to out, which already holds zipOffset bytes. Returns
// false with the reason (one line) in error.
bool WriteArchive(const std::vector<InputItem>& items, const PackOptions& options,
                  uint64_t zipOffset, OutputFile& out, const ProgressCallback& progress,
                  PackSummary* summary, std::string* error);
