#include "sfx_builder.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "input_file.h"
#include "fs/codepage.h"
#include "output_file.h"
#include "pe_image.h"
#include "zip/byte_reader.h"
#include "zip/records.h"

namespace {

std::string Number(uint64_t v) { return std::to_string(v); }

// The entries as they are, the directory, the ZIP64 records when there are, and the end record
// with the comment; bytes between the directory and the records after it are left out, as
// readers that look for the directory right before them would take them for a shift of every
// offset.
uint64_t OutputSize(const ScannedZip& zip, uint64_t zipOffset) {
  return zipOffset + (zip.directoryStart - zip.start) + zip.directorySize +
         zip.zip64Records.size() + zip.endRecord.size();
}

}  // namespace

bool CopyRange(InputFile& input, uint64_t from, uint64_t to, OutputFile& out, std::string* error) {
  constexpr size_t kCopyChunk = 1 << 20;
  std::vector<uint8_t> buffer(to > from ? kCopyChunk : 0);
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
    SetLocalHeaderOffset(zip->directory.data() + entry.headerOffset, moved(entry.localHeader));
  }
  SetDirectoryOffset(zip, moved(zip->directoryStart));
  return true;
}

namespace {

// The existing ZIP's records, shifted, after the stub: checks everything before the output is
// created.
struct ShiftedZip {
  InputFile input;
  ScannedZip zip;
};

// The run-after record starts at a multiple of 12 bytes, as the stub looks for it, after the
// directive record when there is one.
uint64_t RunRecordPadding(uint64_t directiveSize, const std::vector<uint8_t>& runRecord) {
  if (runRecord.empty()) return 0;
  return (kDirectiveAlignment - directiveSize % kDirectiveAlignment) % kDirectiveAlignment;
}

uint64_t RecordsSize(const DirectiveOptions& directives, const std::vector<uint8_t>& runRecord) {
  uint64_t directiveSize = directives.present ? kDirectiveRecordSize : 0;
  return directiveSize + RunRecordPadding(directiveSize, runRecord) + runRecord.size();
}

void AppendRunRecord(const std::vector<uint8_t>& runRecord, std::vector<uint8_t>* records) {
  records->resize(records->size() + RunRecordPadding(records->size(), runRecord), 0);
  records->insert(records->end(), runRecord.begin(), runRecord.end());
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(std::filesystem::u8path(a), std::filesystem::u8path(b), ec);
}

// The stub's bytes, its manifest asking for the request's level, and where padding, records
// (recordSize bytes) and ZIP go behind them.
bool ReadStub(const BuildRequest& request, uint64_t recordSize, std::vector<uint8_t>* bytes,
              SfxLayout* layout, std::string* error) {
  InputFile stub;
  if (!stub.open(request.stub, error)) return false;
  if (stub.size() == 0) {
    *error = request.stub + ": the stub is empty";
    return false;
  }
  bytes->resize(stub.size());
  if (!stub.readAt(0, bytes->data(), bytes->size())) {
    *error = request.stub + ": read error";
    return false;
  }
  if (!SetElevation(bytes, request.elevation, error)) {
    *error = request.stub + ": " + *error;
    return false;
  }
  // The publisher's resources change the stub's size: the layout is planned on the result.
  const std::string outputName = std::filesystem::u8path(request.output).filename().u8string();
  if (!ApplyPublisher(request.publisher, outputName, bytes, error)) {
    // A refused icon is named by its own file; anything else is about the stub.
    const std::string& icon = request.publisher.icon;
    if (icon.empty() || error->rfind(icon + ": ", 0) != 0) *error = request.stub + ": " + *error;
    return false;
  }
  if (!PlanLayout(bytes->size(), recordSize, layout, error)) {
    *error = request.stub + (request.publisher.any() ? " with the publisher's resources: " : ": ") +
             *error;
    return false;
  }
  return true;
}

// The header checksum covers the whole file, archive included: it is summed over the written
// output and put in place before the file is closed. Only a stub the builder rewrote gets it;
// a stub left as it is keeps its bytes.
bool PatchChecksum(const std::vector<uint8_t>& stub, OutputFile& out, std::string* error) {
  PeImage image;
  if (!image.parse(stub, error)) return false;
  InputFile written;
  if (!written.open(out.temporaryPath(), error)) return false;
  PeChecksum sum(image.checksumOffset());
  constexpr size_t kChunk = 1 << 20;
  std::vector<uint8_t> buffer(kChunk);
  for (uint64_t at = 0; at < written.size(); at += kChunk) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, written.size() - at));
    if (!written.readAt(at, buffer.data(), n)) {
      *error = out.temporaryPath() + ": read error";
      return false;
    }
    sum.add(buffer.data(), n);
  }
  uint8_t value[4];
  putLe32(value, sum.value());
  return out.patch(image.checksumOffset(), value, sizeof value, error);
}

// The existing ZIP named by the request: scanned, signed when asked, shifted to zipOffset.
bool LoadExistingZip(const BuildRequest& request, uint64_t zipOffset, ShiftedZip* existing,
                     std::string* error) {
  if (!existing->input.open(request.archive, error)) return false;
  if (!ScanZip(existing->input, &existing->zip, error)) return false;
  if ((request.signature && !SignDirectory(&existing->zip, *request.signature, error)) ||
      !ShiftOffsets(&existing->zip, zipOffset, error)) {
    *error = request.archive + ": " + *error;
    return false;
  }
  return true;
}

// The folders and files named by the request, walked and checked; refused when nothing is left.
bool CollectRequestInputs(const BuildRequest& request, CollectResult* collected,
                          std::string* error) {
  CollectOptions options;
  options.excludes = request.excludes;
  options.skipLinks = request.skipLinks;
  options.output = std::filesystem::u8path(request.output);
  std::string problem = CollectInputs(request.inputs, options, collected);
  if (!problem.empty()) {
    *error = problem;
    return false;
  }
  if (collected->items.empty()) {
    *error = "nothing to put in the archive (every input was empty or excluded)";
    return false;
  }
  return true;
}

// A signature is sealed over a finished directory: a new ZIP is made on its own first, then
// signed and placed behind the stub like an existing one.
bool StageSignedZip(const BuildRequest& request, const CollectResult& collected,
                    uint64_t zipOffset, const BuildProgress& progress, PackSummary* pack,
                    OutputFile* staged, ShiftedZip* existing, std::string* error) {
  if (progress.start) progress.start(collected.totalBytes);
  return staged->create(request.output + ".zip", error) &&
         WriteArchive(collected.items, request.pack, 0, *staged, progress.advance, pack, error) &&
         staged->finish(error) && existing->input.open(staged->temporaryPath(), error) &&
         ScanZip(existing->input, &existing->zip, error) &&
         SignDirectory(&existing->zip, *request.signature, error) &&
         ShiftOffsets(&existing->zip, zipOffset, error);
}

// The shifted ZIP's entries as they are, then its patched directory and end record.
bool CopyShiftedZip(ShiftedZip& existing, OutputFile& out, std::string* error) {
  const ScannedZip& zip = existing.zip;
  return CopyRange(existing.input, zip.start, zip.directoryStart, out, error) &&
         out.write(zip.directory.data(), zip.directory.size(), error) &&
         out.write(zip.zip64Records.data(), zip.zip64Records.size(), error) &&
         out.write(zip.endRecord.data(), zip.endRecord.size(), error);
}

// The file is tested under its temporary name: a result the engine cannot read never takes
// the output's name.
bool CheckResult(const BuildRequest& request, const OutputFile& out, const BuildProgress& progress,
                 BuildResult* result, std::string* error) {
  if (progress.testing) progress.testing();
  std::string problem = CheckWithEngine(out.temporaryPath(), AnsiToUtf8(request.pack.password), &result->check);
  if (!problem.empty()) {
    result->check.problems = problem;
    return true;
  }
  result->checked = true;
  if (result->check.ok) return true;
  *error = "the engine's test of the result failed:\n" + result->check.problems;
  while (!error->empty() && error->back() == '\n') error->pop_back();
  return false;
}

// A folder given to the builder means its tree: when what goes in has subfolders and the command
// line said nothing either way, the dialog opens with "recreate subdirectories" checked, or every
// file would land in one folder and files of one name in different folders would meet. An
// existing ZIP keeps what its own builder chose.
DirectiveOptions DirectivesFor(const BuildRequest& request, const CollectResult& collected,
                               bool* byDefault) {
  DirectiveOptions directives = request.directives;
  *byDefault = false;
  if (directives.subdirectoriesGiven || !request.archive.empty()) return directives;
  for (const InputItem& item : collected.items) {
    if (item.name.find('/') == std::string::npos) continue;
    directives.present = true;
    directives.subdirectories = true;
    *byDefault = true;
    break;
  }
  return directives;
}

}  // namespace

bool IsZipInput(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(std::filesystem::u8path(path), ec)) return false;
  std::string lower = path;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  auto endsIn = [&](const char* suffix) {
    return lower.size() > 4 && lower.compare(lower.size() - 4, 4, suffix) == 0;
  };
  if (endsIn(".zip")) return true;
  // Documents and packages that are ZIPs inside (.docx, .jar, ...) go in as files.
  if (!endsIn(".exe")) return false;
  if (!std::filesystem::is_regular_file(std::filesystem::u8path(path), ec)) return false;
  InputFile input;
  std::string ignored;
  ScannedZip zip;
  return input.open(path, &ignored) && ScanZip(input, &zip, &ignored);
}

bool BuildSfx(const BuildRequest& request, BuildResult* result, std::string* error,
              const BuildProgress& progress) {
  std::vector<uint8_t> runRecord;
  if (!MakeRunRecord(request.runAfter, &runRecord, error)) return false;
  // The deployment record rides behind the run-after record, aligned as every record is.
  AppendDeployRecord(request.deploy, &runRecord);
  // The inputs decide the dialog's defaults, and so whether there is a directive record at all.
  CollectResult collected;
  if (request.archive.empty()) {
    if (!CollectRequestInputs(request, &collected, error)) return false;
    result->skipped = collected.skipped;
  }
  const DirectiveOptions directives =
      DirectivesFor(request, collected, &result->subdirectoriesByDefault);
  std::vector<uint8_t> stubBytes;
  SfxLayout layout;
  if (!ReadStub(request, RecordsSize(directives, runRecord), &stubBytes, &layout, error)) {
    return false;
  }
  // The output is written beside its name and renamed onto it, so replacing an input would
  // work; it is refused all the same, as it is almost always a slip of the keyboard.
  if (SameFile(request.output, request.stub) ||
      (!request.archive.empty() && SameFile(request.output, request.archive))) {
    *error = request.output + ": this is an input of the build; name another output";
    return false;
  }
  std::vector<uint8_t> record;
  if (directives.present &&
      !MakeDirectiveRecord(directives, layout.directiveOffset, &record, error)) {
    return false;
  }
  AppendRunRecord(runRecord, &record);

  ShiftedZip existing;
  if (!request.archive.empty() &&
      !LoadExistingZip(request, layout.zipOffset, &existing, error)) {
    return false;
  }
  OutputFile staged;
  const bool stageNewZip = request.archive.empty() && request.signature.has_value();
  if (stageNewZip && !StageSignedZip(request, collected, layout.zipOffset, progress,
                                     &result->pack, &staged, &existing, error)) {
    return false;
  }

  OutputFile out;
  const std::vector<uint8_t> padding(layout.padding, 0);
  // The records, when there are any, go between the padding and the ZIP.
  if (!out.create(request.output, error) ||
      !out.write(stubBytes.data(), stubBytes.size(), error) ||
      !out.write(padding.data(), padding.size(), error) ||
      !out.write(record.data(), record.size(), error)) {
    return false;
  }
  if (!request.archive.empty() || stageNewZip) {
    if (!CopyShiftedZip(existing, out, error)) return false;
    const ScannedZip& zip = existing.zip;
    if (!stageNewZip) {
      result->droppedPrefix = zip.start;
      result->droppedGap = zip.recordsStart - (zip.directoryStart + zip.directorySize);
      result->droppedTrailer = existing.input.size() - zip.end;
      result->base = zip.base;
    }
    result->outputSize = OutputSize(zip, layout.zipOffset);
  } else {
    if (progress.start) progress.start(collected.totalBytes);
    if (!WriteArchive(collected.items, request.pack, layout.zipOffset, out, progress.advance,
                      &result->pack, error)) {
      return false;
    }
    result->outputSize = layout.zipOffset + result->pack.archiveSize;
  }
  if (request.publisher.any() && !PatchChecksum(stubBytes, out, error)) return false;
  if (!out.finish(error)) return false;
  if (request.verify && !CheckResult(request, out, progress, result, error)) return false;
  if (!out.commit(error)) return false;
  result->layout = layout;
  return true;
}

std::vector<std::string> DefaultStubCandidates(const char* compiledDefault,
                                               const std::string& programPath,
                                               const std::string& arch) {
  std::vector<std::string> candidates;
  std::filesystem::path directory = std::filesystem::u8path(programPath).parent_path();
  auto add = [&](const std::filesystem::path& path) {
    candidates.push_back(path.lexically_normal().u8string());
  };
  if (!directory.empty()) add(directory / ".." / "share" / "vespa" / arch / "vespa-sfx.exe");
  if (compiledDefault && *compiledDefault) add(std::filesystem::u8path(compiledDefault));
  if (!directory.empty()) {
    add(directory / ".." / ".." / (arch == kArchX86_64 ? "win64" : "win32") / "bin" / "vespa-sfx.exe");
  }
  return candidates;
}

bool StageZip(const BuildRequest& request, OutputFile* staged, std::string* error) {
  CollectResult collected;
  if (!CollectRequestInputs(request, &collected, error)) return false;
  PackSummary summary;
  // The set's folders do not exist yet: the ZIP waits in the temporary directory.
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
  if (ec) folder = std::filesystem::u8path(request.output).parent_path();
  std::string destination = (folder / "vespa-mksfx-staged.zip").u8string();
  return staged->create(destination, error) &&
         WriteArchive(collected.items, request.pack, 0, *staged, ProgressCallback(), &summary,
                      error) &&
         staged->finish(error);
}
