#include "spanned_set.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "input_file.h"
#include "output_file.h"
#include "sfx_builder.h"
#include "zip/byte_reader.h"
#include "zip/records.h"
#include "zip_scan.h"

namespace {

namespace fs = std::filesystem;

std::string Number(uint64_t v) { return std::to_string(v); }

// Bytes of one disk's file: from memory (the stub, the patched directory and end record) or
// copied from the input (local headers and entry data, unchanged).
struct Segment {
  const uint8_t* memory = nullptr;  // null: the input range [from, from + length)
  uint64_t from = 0;
  uint64_t length = 0;
};

struct Location {
  uint16_t disk = 0;  // 0-based, as the records count disks
  uint64_t offset = 0;
};

// Lays the set out disk by disk. A record (a header, the stub, the end record) is never split:
// when it does not fit in what is left of a disk it starts the next one. Entry data is split
// wherever a disk is full.
class Packer {
 public:
  Packer(uint64_t diskSize, InputFile& input, uint64_t contiguousEnd)
      : diskSize_(diskSize), input_(input), contiguousEnd_(contiguousEnd) {}

  bool placeWhole(const Segment& segment, const std::string& what, Location* at,
                  std::string* error) {
    if (segment.length > diskSize_) {
      *error = "a disk of " + Number(diskSize_) + " bytes cannot hold " + what + " (" +
               Number(segment.length) + " bytes, which must stay on one disk)";
      return false;
    }
    if ((disks_.empty() || disks_.back().closed ||
         disks_.back().size + segment.length > diskSize_) &&
        !newDisk(error)) {
      return false;
    }
    *at = here();
    append(segment);
    return true;
  }

  // Input bytes [from, to), which may run over as many disks as they need.
  bool placeSplit(uint64_t from, uint64_t to, std::string* error) {
    while (from < to) {
      if ((disks_.empty() || disks_.back().closed || disks_.back().size == diskSize_) &&
          !newDisk(error)) {
        return false;
      }
      uint64_t n = std::min(diskSize_ - disks_.back().size, to - from);
      // A disk that started with the spanning marker would pass for the first volume of a set
      // when the program is run from it: end this disk a byte earlier.
      if (n < to - from && n > 1 && StartsWithMarker(from + n)) {
        --n;
        disks_.back().closed = true;
      }
      append(Segment{nullptr, from, n});
      from += n;
    }
    return true;
  }

  size_t diskCount() const { return disks_.size(); }
  Location here() const {
    return Location{static_cast<uint16_t>(disks_.size() - 1), disks_.back().size};
  }
  const std::vector<Segment>& segments(size_t disk) const { return disks_[disk].segments; }
  uint64_t size(size_t disk) const { return disks_[disk].size; }

 private:
  struct Disk {
    std::vector<Segment> segments;
    uint64_t size = 0;
    bool closed = false;  // ended early: nothing more goes on it
  };

  bool newDisk(std::string* error) {
    if (disks_.size() == kMaxSpannedDisks) {
      *error = "a disk size of " + Number(diskSize_) + " bytes needs more than " +
               Number(kMaxSpannedDisks) + " disks";
      return false;
    }
    disks_.emplace_back();
    return true;
  }
  void append(const Segment& segment) {
    disks_.back().segments.push_back(segment);
    disks_.back().size += segment.length;
  }
  // The input is copied unchanged up to the central directory, whose first bytes are a
  // header's signature: only positions with four input bytes after them can hold the marker.
  bool StartsWithMarker(uint64_t position) {
    uint8_t bytes[4];
    return position + 4 <= contiguousEnd_ && input_.readAt(position, bytes, 4) &&
           le32(bytes) == kSpanningMarker;
  }

  uint64_t diskSize_;
  InputFile& input_;
  uint64_t contiguousEnd_;
  std::vector<Disk> disks_;
};

bool WriteSegments(const std::vector<Segment>& segments, InputFile& input, OutputFile& out,
                   std::string* error) {
  for (const Segment& s : segments) {
    const bool written = s.memory ? out.write(s.memory, s.length, error)
                                  : CopyRange(input, s.from, s.from + s.length, out, error);
    if (!written) return false;
  }
  return true;
}

bool WriteWhole(const std::string& path, const std::string& bytes, std::string* error) {
  OutputFile out;
  return out.create(path, error) && out.write(bytes.data(), bytes.size(), error) &&
         out.commit(error);
}

}  // namespace

bool ParseDiskSize(const std::string& text, uint64_t* size, std::string* error) {
  auto refuse = [&]() {
    *error = "bad disk size '" + text + "': give bytes, or kilobytes with k (1440k), or m for "
             "1000k (1.44m)";
    return false;
  };
  size_t i = 0;
  uint64_t mantissa = 0, scale = 1;
  bool digits = false, point = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    digits = true;
    if (mantissa > 1000000000000ull) return refuse();
    mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
    if (point) scale *= 10;
  }
  if (!digits || scale > 1000000) return refuse();
  uint64_t unit = 1;
  std::string suffix = text.substr(i);
  if (suffix == "k" || suffix == "K") {
    unit = 1024;
  } else if (suffix == "m" || suffix == "M") {
    unit = 1000 * 1024;
  } else if (!suffix.empty() || point) {
    return refuse();
  }
  if (mantissa > UINT64_MAX / unit) return refuse();
  uint64_t bytes = mantissa * unit / scale;
  if (bytes == 0) {
    *error = "bad disk size '" + text + "': a disk must hold at least one byte";
    return false;
  }
  if (bytes > kMaxOutputSize) {
    *error = "bad disk size '" + text + "': more than the " + Number(kMaxOutputSize) +
             " bytes a 32-bit stub can read from one file";
    return false;
  }
  *size = bytes;
  return true;
}

std::string DiskLabel(int number) {
  char label[16];
  std::snprintf(label, sizeof label, "VESPA # %03d", number);
  return label;
}

namespace {

// The stub with its padding, checked for the DOS header that carries the spanning marker.
bool ReadMarkableStub(const std::string& path, std::vector<uint8_t>* prefix, std::string* error) {
  InputFile stub;
  if (!stub.open(path, error)) return false;
  SfxLayout layout;
  if (!PlanLayout(stub.size(), 0, &layout, error)) {
    *error = path + ": " + *error;
    return false;
  }
  prefix->assign(layout.zipOffset, 0);
  if (stub.size() < 64 || !stub.readAt(0, prefix->data(), stub.size()) || (*prefix)[0] != 'M' ||
      (*prefix)[1] != 'Z') {
    *error = path + ": not a Windows program (no DOS header to carry the spanning marker)";
    return false;
  }
  return true;
}

// Where each local header went: locals holds their input offsets, sorted and unique, localAt
// their places in the set.
struct PlacedLocals {
  std::vector<uint64_t> locals;
  std::vector<Location> localAt;

  const Location& of(uint64_t localHeader) const {
    size_t where = static_cast<size_t>(
        std::lower_bound(locals.begin(), locals.end(), localHeader) - locals.begin());
    return localAt[where];
  }
};

// Entries: each local header with its name and extra field whole, the data after it split
// where a disk ends. Several central headers may name one local header.
bool PlaceEntries(const ScannedZip& zip, InputFile& input, Packer& packer, PlacedLocals* placed,
                  std::string* error) {
  std::vector<uint64_t>& locals = placed->locals;
  for (const ScannedZip::Entry& e : zip.entries) locals.push_back(e.localHeader);
  std::sort(locals.begin(), locals.end());
  locals.erase(std::unique(locals.begin(), locals.end()), locals.end());
  placed->localAt.resize(locals.size());
  for (size_t i = 0; i < locals.size(); ++i) {
    uint64_t next = i + 1 < locals.size() ? locals[i + 1] : zip.directoryStart;
    uint8_t fixed[kLocalHeaderSize];
    if (!input.readAt(locals[i], fixed, sizeof fixed)) {
      *error = "read error";
      return false;
    }
    const LocalHeader local = ParseLocalHeader(ByteReader(fixed, sizeof fixed));
    uint64_t headerSize = kLocalHeaderSize + local.nameLength + local.extraLength;
    if (headerSize > next - locals[i]) {
      *error = "damaged archive: the local header at offset " + Number(locals[i]) +
               " runs into what follows it";
      return false;
    }
    std::string what = "the local header at offset " + Number(locals[i]);
    if (!packer.placeWhole(Segment{nullptr, locals[i], headerSize}, what, &placed->localAt[i],
                           error) ||
        !packer.placeSplit(locals[i] + headerSize, next, error)) {
      return false;
    }
  }
  return true;
}

// The central directory, one header at a time, each told where its local header went, then
// the end record, patched to say where the directory and the end record went.
bool PlaceDirectory(ScannedZip& zip, const PlacedLocals& placed, Packer& packer,
                    std::string* error) {
  Location directoryAt = packer.here();
  std::vector<Location> centralAt(zip.entries.size());
  for (size_t i = 0; i < zip.entries.size(); ++i) {
    const ScannedZip::Entry& e = zip.entries[i];
    uint8_t* header = zip.directory.data() + e.headerOffset;
    uint64_t size = CentralHeaderSize(header);
    const Location& local = placed.of(e.localHeader);
    putLe32(header + kCentralLocalHeaderOffset, static_cast<uint32_t>(local.offset));
    putLe16(header + kCentralDiskNumberStart, local.disk);
    if (!packer.placeWhole(Segment{header, 0, size}, "the central header of '" + e.name + "'",
                           &centralAt[i], error)) {
      return false;
    }
    if (i == 0) directoryAt = centralAt[0];
  }
  // What may close the directory after its last header.
  uint64_t headersEnd =
      zip.entries.empty() ? 0 : zip.entries.back().headerOffset +
                                    CentralHeaderSize(zip.directory.data() +
                                                      zip.entries.back().headerOffset);
  if (headersEnd < zip.directory.size()) {
    Segment closing{zip.directory.data() + headersEnd, 0, zip.directory.size() - headersEnd};
    Location closingAt;
    if (!packer.placeWhole(closing, "the record that closes the central directory", &closingAt,
                           error)) {
      return false;
    }
    if (zip.entries.empty()) directoryAt = closingAt;
  }

  Location endAt;
  if (!packer.placeWhole(Segment{zip.endRecord.data(), 0, zip.endRecord.size()},
                         "the end record with the archive comment", &endAt, error)) {
    return false;
  }
  // An empty directory lies where the end record does.
  if (zip.directory.empty()) directoryAt = endAt;
  uint16_t onLastDisk = 0;
  for (const Location& c : centralAt) {
    if (c.disk == endAt.disk) ++onLastDisk;
  }
  uint8_t* end = zip.endRecord.data();
  putLe16(end + kEndThisDisk, endAt.disk);
  putLe16(end + kEndDirectoryDisk, directoryAt.disk);
  putLe16(end + kEndEntriesOnDisk, onLastDisk);
  putLe32(end + kEndDirectoryOffset, static_cast<uint32_t>(directoryAt.offset));
  return true;
}

// Everything is planned: writes disk by disk, each file in a folder diskN beside the output's
// name, with its label in LABEL.TXT. A failure removes what was written.
bool WriteDisks(const SpanRequest& request, const Packer& packer, InputFile& input,
                std::vector<SpannedDisk>* disks, std::string* error) {
  fs::path output(request.output);
  fs::path base = output.parent_path();
  fs::path name = output.filename();
  if (name.empty()) {
    *error = request.output + ": names no file";
    return false;
  }
  std::vector<SpannedDisk> written;
  auto undo = [&]() {
    std::error_code ignored;
    for (const SpannedDisk& d : written) {
      fs::remove(d.path, ignored);
      fs::remove(fs::path(d.path).parent_path() / "LABEL.TXT", ignored);
    }
    return false;
  };
  for (size_t disk = 0; disk < packer.diskCount(); ++disk) {
    int number = static_cast<int>(disk) + 1;
    fs::path folder = base / ("disk" + std::to_string(number));
    std::error_code failure;
    fs::create_directories(folder, failure);
    if (failure) {
      *error = "cannot create " + folder.string() + ": " + failure.message();
      return undo();
    }
    SpannedDisk d{(folder / name).string(), DiskLabel(number), packer.size(disk)};
    OutputFile out;
    if (!out.create(d.path, error) || !WriteSegments(packer.segments(disk), input, out, error) ||
        !out.commit(error)) {
      return undo();
    }
    written.push_back(d);
    if (!WriteWhole((folder / "LABEL.TXT").string(), d.label + "\r\n", error)) return undo();
  }
  *disks = written;
  return true;
}

}  // namespace

bool BuildSpannedSfx(const SpanRequest& request, std::vector<SpannedDisk>* disks,
                     std::string* error) {
  // The stub, marked in its DOS header.
  std::vector<uint8_t> prefix;
  if (!ReadMarkableStub(request.stub, &prefix, error)) return false;

  InputFile input;
  if (!input.open(request.archive, error)) return false;
  ScannedZip zip;
  if (!ScanZip(input, &zip, error)) return false;
  auto refuse = [&](const std::string& why) {
    *error = request.archive + ": " + why;
    return false;
  };
  // The stub reads a ZIP64 archive from one file only.
  if (!zip.zip64Records.empty()) {
    return refuse("ZIP64 archive (" + std::to_string(zip.entryCount) +
                  " entries); a spanned set is made only from an archive without ZIP64 records");
  }

  Packer packer(request.diskSize, input, zip.directoryStart);
  Location at;
  PlacedLocals placed;
  if (!packer.placeWhole(Segment{prefix.data(), 0, prefix.size()}, "the stub", &at, error) ||
      !PlaceEntries(zip, input, packer, &placed, error) ||
      !PlaceDirectory(zip, placed, packer, error)) {
    return refuse(*error);
  }
  for (size_t disk = 0; disk < packer.diskCount(); ++disk) {
    if (packer.size(disk) > kMaxOutputSize) return refuse("a disk's file would pass 4 GiB");
  }
  // A set that fits on one disk is a plain self-extracting archive: no marker, so that the
  // program does not ask for a last disk when run from it.
  if (packer.diskCount() > 1) putLe32(prefix.data() + kStubMarkerOffset, kSpanningMarker);
  return WriteDisks(request, packer, input, disks, error);
}
