// Building a self-extracting archive: [stub][zero padding to a multiple of 12][directive record]
// [ZIP], with the ZIP's offsets shifted so that they are absolute in the result, as the stub
// reads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "directive_writer.h"
#include "zip_scan.h"

// The stub looks for its directive record only at multiples of 12 bytes and only in the first
// 300000 bytes of its file: the record's 12-byte header must start at or before 299988.
constexpr uint64_t kDirectiveAlignment = 12;
constexpr uint64_t kDirectiveSearchSpan = 300000;
constexpr uint64_t kLastDirectiveOffset = kDirectiveSearchSpan - kDirectiveAlignment;
// The stub's file positions and the ZIP's offsets are 32-bit; 0xFFFFFFFF itself would read as
// the ZIP64 escape.
constexpr uint64_t kMaxOffset = 0xFFFFFFFEull;
constexpr uint64_t kMaxOutputSize = 0xFFFFFFFFull;

struct SfxLayout {
  uint64_t stubSize = 0;
  uint64_t padding = 0;
  uint64_t directiveOffset = 0;  // where a directive record starts: right after the padding
  uint64_t directiveSize = 0;
  uint64_t zipOffset = 0;  // what precedes the ZIP: every offset of the ZIP moves by this much
};

// Places stub, padding and directive record; refuses a stub that would push the directive
// record out of the stub's reach.
bool PlanLayout(uint64_t stubSize, uint64_t directiveSize, SfxLayout* layout, std::string* error);

// Rewrites the loaded directory and end record of zip so that every offset is absolute in an
// output where the archive proper (from zip.start) begins at zipOffset. Refuses an offset or an
// output size past the 32-bit limit; zip is unchanged then.
bool ShiftOffsets(ScannedZip* zip, uint64_t zipOffset, std::string* error);

struct BuildRequest {
  std::string output;
  std::string stub;
  std::string archive;
  DirectiveOptions directives{};  // a record is written when directives.present
};

struct BuildResult {
  SfxLayout layout;
  // Bytes of the input that are not part of the archive and are left out: before its first
  // entry, between its directory and its end record, after its comment.
  uint64_t droppedPrefix = 0;
  uint64_t droppedGap = 0;
  uint64_t droppedTrailer = 0;
  int64_t base = 0;             // what the input's offsets counted from (see ScannedZip)
  uint64_t outputSize = 0;
};

// Checks everything first and writes only then, under a temporary name that is renamed onto
// request.output when complete: a refusal or a failure leaves no output and keeps whatever file
// request.output named before.
bool BuildSfx(const BuildRequest& request, BuildResult* result, std::string* error);

// Where the default stub may be, in the order to try: the one the build names (compiledDefault,
// may be null or empty), then the i686 stub a build tree keeps at ../../win32/bin/ from the
// directory of programPath.
std::vector<std::string> DefaultStubCandidates(const char* compiledDefault,
                                               const std::string& programPath);
