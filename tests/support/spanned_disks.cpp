#include "spanned_disks.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "zip/byte_reader.h"
#include "zip/records.h"

namespace {

struct Place {
  uint16_t disk;
  uint32_t offset;
};

Place PlaceOf(size_t position, const std::vector<size_t>& cuts) {
  size_t start = 0;
  uint16_t disk = 0;
  for (size_t cut : cuts) {
    if (position < cut) break;
    start = cut;
    ++disk;
  }
  return Place{disk, static_cast<uint32_t>(position - start)};
}

}  // namespace

std::vector<std::string> SplitIntoDisks(const std::string& archive, const std::vector<size_t>& cuts) {
  std::string bytes = archive;
  uint8_t* p = reinterpret_cast<uint8_t*>(&bytes[0]);
  size_t end = bytes.size() - kEndRecordSize;
  while (le32(p + end) != kEndRecordSignature) {
    if (end == 0) throw std::runtime_error("no end record");
    --end;
  }
  if (!cuts.empty() && cuts.back() > end) throw std::runtime_error("the end record must stay whole");
  uint32_t directory = le32(p + end + kEndDirectoryOffset);
  uint16_t count = le16(p + end + kEndTotalEntries);
  size_t at = directory;
  for (uint16_t i = 0; i < count; ++i) {
    Place local = PlaceOf(le32(p + at + kCentralLocalHeaderOffset), cuts);
    putLe16(p + at + kCentralDiskNumberStart, local.disk);
    putLe32(p + at + kCentralLocalHeaderOffset, local.offset);
    at += CentralHeaderSize(p + at);
  }
  Place start = PlaceOf(directory, cuts);
  Place last = PlaceOf(end, cuts);
  putLe16(p + end + kEndThisDisk, last.disk);
  putLe16(p + end + kEndDirectoryDisk, start.disk);
  putLe32(p + end + kEndDirectoryOffset, start.offset);

  std::vector<std::string> disks;
  size_t from = 0;
  for (size_t cut : cuts) {
    disks.push_back(bytes.substr(from, cut - from));
    from = cut;
  }
  disks.push_back(bytes.substr(from));
  return disks;
}

std::string LabelOfDisk(int number) {
  char label[16];
  std::snprintf(label, sizeof label, "VESPA # %03d", number);
  return label;
}

void FakeDrive::insert(int number) { insert(number, LabelOfDisk(number)); }

void FakeDrive::insert(int number, const std::string& diskLabel) {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out << disks_.at(static_cast<size_t>(number - 1));
  label = diskLabel;
  inserted = number;
}

void FakeDrive::insertBlank(const std::string& diskLabel) {
  std::remove(path_.c_str());
  label = diskLabel;
  inserted = 0;
}

int FakeDrive::volumeLabel(const char*, char* out) {
  if (!labelReadable) return 1;
  std::snprintf(out, kPathSize, "%s", label.c_str());
  return 0;
}
