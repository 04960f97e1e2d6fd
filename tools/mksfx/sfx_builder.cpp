#include "sfx_builder.h"

#include <filesystem>
#include <vector>

#include "input_file.h"
#include "output_file.h"
#include "zip/byte_reader.h"
#include "zip/records.h"

namespace {

constexpr size_t kCopyChunk = 1 << 20;

std::string Number(uint64_t v) { return std::to_string(v); }

// Copies input bytes [from, to) to the output.
bool CopyRange(InputFile& input, uint64_t from, uint64_t to, OutputFile& out, std::string* error) {
  std::vector<uint8_t> buffer(kCopyChunk);
  while (from < to) {
    size_t n = to - from < kCopyChunk ? static_cast<size_t>(to - from) : kCopyChunk;
    if (!input.readAt(from, buffer.data(), n)) {
      *error = input.path() + ": read error";
      return false;
    }
    if (!out.write(buffer.data(), n, error)) return false;
    from += n;
  }
  return true;
}

// The entries as they are, the directory, and the end record with the comment; bytes between
// the directory and the end record are left out, as readers that look for the directory right
// before the end record would take them for a shift of every offset.
uint64_t OutputSize(const ScannedZip& zip, uint64_t zipOffset) {
  return zipOffset + (zip.directoryStart - zip.start) + zip.directorySize + zip.endRecord.size();
}

}  // namespace

bool PlanLayout(uint64_t stubSize, uint64_t directiveSize, SfxLayout* layout, std::string* error) {
  SfxLayout plan;
  plan.stubSize = stubSize;
  plan.padding = (kDirectiveAlignment - stubSize % kDirectiveAlignment) % kDirectiveAlignment;
  plan.directiveOffset = stubSize + plan.padding;
  plan.directiveSize = directiveSize;
  plan.zipOffset = plan.directiveOffset + directiveSize;
  if (plan.directiveOffset > kLastDirectiveOffset) {
    *error = "stub too large: " + Number(stubSize) + " bytes, " + Number(plan.directiveOffset) +
             " with padding; the directive record must start within the first " +
             Number(kDirectiveSearchSpan) + " bytes, so a stub may have at most " +
             Number(kLastDirectiveOffset) + " bytes";
    return false;
  }
  *layout = plan;
  return true;
}

bool ShiftOffsets(ScannedZip* zip, uint64_t zipOffset, std::string* error) {
  auto moved = [&](uint64_t position) { return position - zip->start + zipOffset; };
  for (const ScannedZip::Entry& entry : zip->entries) {
    if (moved(entry.localHeader) > kMaxOffset) {
      *error = "too large: entry '" + entry.name + "' would start at offset " +
               Number(moved(entry.localHeader)) + ", past the 4 GiB reach of 32-bit ZIP offsets";
      return false;
    }
  }
  if (moved(zip->directoryStart) > kMaxOffset) {
    *error = "too large: the central directory would start at offset " +
             Number(moved(zip->directoryStart)) + ", past the 4 GiB reach of 32-bit ZIP offsets";
    return false;
  }
  uint64_t outputSize = OutputSize(*zip, zipOffset);
  if (outputSize > kMaxOutputSize) {
    *error = "too large: the self-extracting archive would have " + Number(outputSize) +
             " bytes, past the 4 GiB a 32-bit stub can read";
    return false;
  }

  for (const ScannedZip::Entry& entry : zip->entries) {
    putLe32(zip->directory.data() + entry.headerOffset + kCentralLocalHeaderOffset,
            static_cast<uint32_t>(moved(entry.localHeader)));
  }
  putLe32(zip->endRecord.data() + kEndDirectoryOffset,
          static_cast<uint32_t>(moved(zip->directoryStart)));
  return true;
}

bool BuildSfx(const BuildRequest& request, BuildResult* result, std::string* error) {
  InputFile stub;
  if (!stub.open(request.stub, error)) return false;
  if (stub.size() == 0) {
    *error = request.stub + ": the stub is empty";
    return false;
  }
  SfxLayout layout;
  uint64_t recordSize = request.directives.present ? kDirectiveRecordSize : 0;
  if (!PlanLayout(stub.size(), recordSize, &layout, error)) {
    *error = request.stub + ": " + *error;
    return false;
  }
  std::vector<uint8_t> stubBytes(layout.stubSize);
  if (!stub.readAt(0, stubBytes.data(), stubBytes.size())) {
    *error = request.stub + ": read error";
    return false;
  }

  std::vector<uint8_t> record;
  if (request.directives.present &&
      !MakeDirectiveRecord(request.directives, layout.directiveOffset, &record, error)) {
    return false;
  }

  InputFile input;
  if (!input.open(request.archive, error)) return false;
  ScannedZip zip;
  if (!ScanZip(input, &zip, error)) return false;
  if (!ShiftOffsets(&zip, layout.zipOffset, error)) {
    *error = request.archive + ": " + *error;
    return false;
  }

  OutputFile out;
  const std::vector<uint8_t> padding(layout.padding, 0);
  // The directive record, when there is one, goes between the padding and the ZIP.
  if (!out.create(request.output, error) ||
      !out.write(stubBytes.data(), stubBytes.size(), error) ||
      !out.write(padding.data(), padding.size(), error) ||
      !out.write(record.data(), record.size(), error) ||
      !CopyRange(input, zip.start, zip.directoryStart, out, error) ||
      !out.write(zip.directory.data(), zip.directory.size(), error) ||
      !out.write(zip.endRecord.data(), zip.endRecord.size(), error) || !out.commit(error)) {
    return false;
  }

  result->layout = layout;
  result->droppedPrefix = zip.start;
  result->droppedGap = zip.endRecordStart - (zip.directoryStart + zip.directorySize);
  result->droppedTrailer = input.size() - zip.end;
  result->base = zip.base;
  result->outputSize = OutputSize(zip, layout.zipOffset);
  return true;
}

std::vector<std::string> DefaultStubCandidates(const char* compiledDefault,
                                               const std::string& programPath) {
  std::vector<std::string> candidates;
  if (compiledDefault && *compiledDefault) candidates.push_back(compiledDefault);
  std::filesystem::path directory = std::filesystem::path(programPath).parent_path();
  if (!directory.empty()) {
    candidates.push_back(
        (directory / ".." / ".." / "win32" / "bin" / "vespa-sfx.exe").lexically_normal().string());
  }
  return candidates;
}
