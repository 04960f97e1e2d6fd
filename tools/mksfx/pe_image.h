// A Windows program file's resources, read into a list and written back as a new resource
// section: what the builder needs to give a stub the publisher's icon, version information and
// title. Portable: the layouts are those of the PE/COFF format, named below, read and written
// byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The headers and tables, as laid out in the file.
constexpr size_t kDosNewHeaderOffset = 0x3C;    // u32: where "PE\0\0" is
constexpr size_t kCoffHeaderSize = 20;          // after the 4-byte signature
constexpr size_t kCoffSectionCount = 2;         // u16
constexpr size_t kCoffSymbolTable = 8;          // u32: file offset, 0 in a stripped program
constexpr size_t kCoffOptionalSize = 16;        // u16
constexpr uint16_t kOptionalMagicPe32 = 0x10B;  // the i686 stub
constexpr uint16_t kOptionalMagicPe32Plus = 0x20B;  // the x86_64 stub
// Offsets inside the optional header, the same in both forms up to the checksum.
constexpr size_t kOptionalInitializedData = 8;  // u32 SizeOfInitializedData
constexpr size_t kOptionalSectionAlignment = 32;
constexpr size_t kOptionalFileAlignment = 36;
constexpr size_t kOptionalImageSize = 56;       // u32 SizeOfImage
constexpr size_t kOptionalChecksum = 64;        // u32 CheckSum
constexpr size_t kOptionalDirectoryCount = 92;  // PE32; 108 in PE32+
constexpr size_t kOptionalPlusExtra = 16;       // the four 64-bit stack and heap sizes
constexpr size_t kDataDirectorySize = 8;        // u32 RVA, u32 size
constexpr size_t kDirectoryCertificates = 4;    // a file offset, not an RVA
constexpr size_t kDirectoryResources = 2;
constexpr size_t kDirectoryRelocations = 5;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kSectionVirtualSize = 8;
constexpr size_t kSectionVirtualAddress = 12;
constexpr size_t kSectionRawSize = 16;
constexpr size_t kSectionRawPointer = 20;
// The resource tree: three levels (type, name, language) of directories, then data entries.
constexpr size_t kResourceDirectorySize = 16;   // ..., u16 named count at 12, u16 id count at 14
constexpr size_t kResourceDirectoryEntrySize = 8;  // u32 name or id, u32 offset
constexpr size_t kResourceDataEntrySize = 16;   // u32 RVA, u32 size, u32 code page, u32 0
constexpr uint32_t kResourceHighBit = 0x80000000;  // a name (not an id), a directory (not data)

// Standard resource types.
constexpr uint16_t kResourceIcon = 3;
constexpr uint16_t kResourceString = 6;
constexpr uint16_t kResourceGroupIcon = 14;
constexpr uint16_t kResourceVersion = 16;

// A resource's type, name or language: a number, or a name of 16-bit characters.
struct ResourceId {
  bool named = false;
  uint16_t id = 0;
  std::u16string name;
  static ResourceId Number(uint16_t n) { return ResourceId{false, n, {}}; }
  bool operator==(const ResourceId& o) const {
    return named == o.named && (named ? name == o.name : id == o.id);
  }
  bool operator!=(const ResourceId& o) const { return !(*this == o); }
  bool operator<(const ResourceId& o) const;  // the directory's order: names first, then ids
};

struct Resource {
  ResourceId type, name, language;
  uint32_t codePage = 0;
  std::vector<uint8_t> data;
};

class PeImage {
 public:
  // Reads the headers, the sections and the resource tree of file; refuses what is not a PE
  // program or holds a tree that is damaged.
  bool parse(const std::vector<uint8_t>& file, std::string* error);

  std::vector<Resource> resources;

  // The program with its resource section rebuilt from resources: the section grows or
  // shrinks in place, the sections after it move (only a relocation section may follow it),
  // and image size, directories and checksum follow. Refuses a signed program.
  bool rebuild(std::vector<uint8_t>* out, std::string* error) const;

  // Where the header checksum is in the file.
  size_t checksumOffset() const { return optional_ + kOptionalChecksum; }

 private:
  struct Section {
    std::string name;
    uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawPointer = 0;
  };
  bool fileOffset(uint32_t rva, uint32_t size, size_t* offset) const;
  size_t directory(size_t index) const;  // file offset of a data directory, 0 when absent

  std::vector<uint8_t> file_;
  std::vector<Section> sections_;
  size_t optional_ = 0, sectionTable_ = 0, directories_ = 0, directoryCount_ = 0;
  size_t resourceSection_ = 0;
};

// The header checksum of a PE file: 16-bit words summed with end-around carry, then the file's
// length added; the checksum field itself counts as zero. Fed in pieces of any length.
class PeChecksum {
 public:
  explicit PeChecksum(uint64_t checksumOffset) : skip_(checksumOffset) {}
  void add(const uint8_t* data, size_t size);
  uint32_t value() const;

 private:
  void addByte(uint8_t byte);
  uint64_t skip_;
  uint64_t position_ = 0;
  uint64_t sum_ = 0;
  int pendingLow_ = -1;  // the low byte of a word split between two pieces
};

// The resource of type and name (any language), or null.
const Resource* FindResource(const std::vector<Resource>& resources, uint16_t type, uint16_t name);
