// What a publisher puts on the program in place of ours: its icon, its version information
// (what Windows shows in the file's properties and what deployment tools and virus scanners
// read) and the dialog's title. All three are resources of the stub, rewritten before the
// archive is appended: the icon replaces the stub's own group (the one the program, its About
// box and its title bar show), the version information the stub's, and the title is a string
// of the string table that the stub reads in place of its template caption and the archive's
// path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pe_image.h"

// The icon file's records: a 6-byte header (0, type 1, count), then 16-byte entries
// (width, height, colours, 0, planes u16, bits u16, bytes u32, offset u32) pointing at the
// images, each a PNG or a device-independent bitmap.
constexpr size_t kIconHeaderSize = 6;
constexpr size_t kIconEntrySize = 16;
constexpr uint16_t kIconType = 1;
// In the group resource each entry is 14 bytes: the offset becomes the u16 id of an RT_ICON.
constexpr size_t kGroupEntrySize = 14;
constexpr size_t kBitmapHeaderSize = 40;  // BITMAPINFOHEADER, first in a bitmap image

// VS_VERSIONINFO: nodes of u16 length, u16 value length, u16 type (1 text, 0 binary), a key of
// 16-bit characters, then the value and the children, each at a multiple of 4.
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedFileInfoVersion = 0x00010000;
constexpr size_t kFixedFileInfoSize = 52;
constexpr uint32_t kFileFlagsMask = 0x3F;
constexpr uint32_t kFileOsNtWindows32 = 0x00040004;
constexpr uint32_t kFileTypeApplication = 1;
// The strings are in Portuguese (Brazil), the program's language, and in Unicode (code page
// 1200): any character of a publisher's name shows as given.
constexpr uint16_t kVersionLanguage = 0x0416;
constexpr uint16_t kVersionCodePage = 1200;
// The string of the title (ours: not in the program's own table, written by the builder only).
constexpr uint16_t kStringsPerBlock = 16;
// The stub cuts a caption at 79 characters (its message boxes' rule): a longer title would show
// whole in the dialog and cut in its boxes.
constexpr size_t kMaxTitleCharacters = 79;

struct PublisherOptions {
  std::string icon;  // the .ico file, or empty
  std::optional<std::string> fileVersion, productVersion;  // "A.B.C.D"
  std::optional<std::string> productName, company, description, copyright, originalName;
  std::optional<std::string> title;

  bool versionGiven() const {
    return fileVersion || productVersion || productName || company || description || copyright ||
           originalName;
  }
  bool any() const { return !icon.empty() || versionGiven() || title; }
};

// Checks a version number: four numbers from 0 to 65535 separated by dots.
bool ParseVersionNumber(const std::string& text, uint16_t parts[4]);

struct IconImage {
  uint8_t width, height, colors;
  uint16_t planes, bits;
  std::vector<uint8_t> data;
};
// Reads every image of an .ico file; refuses, naming the file, what is not one.
bool ReadIconFile(const std::string& path, std::vector<IconImage>* images, std::string* error);

// Makes the stub's bytes carry what options ask for; the output's file name is the default of
// the original name. Bytes unchanged when nothing is asked.
bool ApplyPublisher(const PublisherOptions& options, const std::string& outputName,
                    std::vector<uint8_t>* stub, std::string* error);

// What a program carries of these, for --show, one line each.
std::string DescribePublisher(const std::vector<uint8_t>& program);
