// Where an entry's bytes go: the output path, unsafe names, volume labels, overwrite modes and
// their questions, directory creation, the output file itself, and the print device.
#include "extract/output.h"

#include <cstring>
#include <memory>

#include "extract/attributes.h"
#include "extract/context.h"
#include "fs/format.h"
#include "fs/fs.h"
#include "report/user_callbacks.h"
#include "zip/archive_state.h"
#include "zip/windows_names.h"

namespace {

constexpr int kCreationAttempts = 2;
const char kNewNamePrompt[] = "Novo nome de arquivo? ";

// A stored name decides where its file lands: a component of dots (and the blanks Windows
// drops from the end of a name) that reaches the parent would put the file outside the
// destination.
bool ClimbsOut(const char* name) {
  const char* component = name;
  for (;;) {
    const char* end = std::strchr(component, '/');
    const size_t length = end ? static_cast<size_t>(end - component) : std::strlen(component);
    size_t dots = 0;
    bool onlyDots = true;
    for (size_t i = 0; i < length; ++i) {
      if (component[i] == '.') {
        ++dots;
      } else if (component[i] != ' ') {
        onlyDots = false;
        break;
      }
    }
    if (onlyDots && dots >= 2) return true;
    if (!end) return false;
    component = end + 1;
  }
}

// Does path exist? Its attributes when it does. The search is closed before returning.
bool LookUp(const char* path, uint32_t* attributes) {
  FindInfo found{};
  SearchHandle search = findFirst(path, &found);
  if (search == kNoSearch) return false;
  if (attributes) *attributes = found.attributes;
  endSearch(search);
  return true;
}

// directory + name into out (kLongPathSize chars); false when the path does not fit, for a path
// cut to fit would name some other file.
bool JoinPath(char* out, const char* directory, const char* name) {
  int length = FormatText(out, kLongPathSize, "%s%s", directory, name);
  return length >= 0 && length < kLongPathSize;
}

// Where in a path the part that came from the archive (or from a relative new name) begins:
// only that part is walked for directories to create, never the destination itself.
// The path was made as destination + name, possibly cut to the buffer.
size_t StoredStart(const char* path, const char* destination) {
  const size_t destinationLength = std::strlen(destination);
  const size_t pathLength = std::strlen(path);
  return destinationLength < pathLength ? destinationLength : pathLength;
}

// The directories on the way to path, from its stored part on; the last one too.
// Returns whether the stored part held a separator.
bool MakeDirectories(ExtractionContext* context, char* scratch, size_t storedStart,
                     bool isDirectory, bool create, const CentralHeader* entry) {
  if (!std::strchr(scratch + storedStart, '/')) return false;
  if (!isDirectory) *std::strrchr(scratch, '/') = '\0';
  for (char* p = std::strchr(scratch + storedStart, '/'); p; p = std::strchr(p + 1, '/')) {
    *p = '\0';
    if (create) makeDirectory(scratch, nullptr);  // an existing one is no failure here
    *p = '/';
  }
  if (create) {
    makeDirectory(scratch, nullptr);
    if (isDirectory) setAttributes(scratch, DirectoryAttributes(context->options, *entry));
  } else {
    context->report.warning(kWarnIllegalPath, scratch);
  }
  return true;
}

// Does the stored part of path go through a link (a symbolic link, a junction, any reparse
// point) already in the destination, or is its last component one? Writing there would land
// wherever the link points. The destination itself may be a link: only what the archive named
// is looked at. The walk starts below the folder the run last found free of links, and stops
// at the first component that is not there yet.
bool PassesThroughLink(ExtractionContext* context, const char* path, size_t storedStart) {
  char* scratch = context->scratch;
  FormatText(scratch, kLongPathSize, "%s", path);
  size_t length = std::strlen(scratch);
  // A trailing separator would make the system look through a link at its target.
  while (length > storedStart && scratch[length - 1] == '/') scratch[--length] = '\0';
  char* known = context->linkFreeFolder;
  const size_t knownLength = std::strlen(known);
  size_t from = storedStart;
  if (knownLength > storedStart && std::strncmp(scratch, known, knownLength) == 0 &&
      scratch[knownLength] == '/') {
    from = knownLength + 1;
  }
  bool exists = true;
  for (char* p = std::strchr(scratch + from, '/'); p && exists; p = std::strchr(p + 1, '/')) {
    *p = '\0';
    const bool link = isReparsePoint(scratch, &exists);
    if (exists && !link) std::memcpy(known, scratch, static_cast<size_t>(p - scratch) + 1);
    *p = '/';
    if (link) return true;
  }
  return exists && length > storedStart && isReparsePoint(scratch, &exists);
}

bool IsDirectoryOnDisk(const char* path) {
  uint32_t attributes = 0;
  return getAttributes(path, &attributes) == 0 && (attributes & kAttrDirectory);
}

// A new file is written where it goes, as quickly as ever. An existing file is replaced only
// by a whole and sound entry: until then its bytes go to a file of ours beside it, and the
// existing one stays untouched (ExtractionContext::replacement).
void CreateOutputFile(ExtractionContext* context, uint32_t attributes) {
  context->destroyOutput();
  context->replacement.drop();
  const char* path = context->outputName;
  std::unique_ptr<FileStream> stream(
      new FileStream(path, kGenericWrite, kShareNone, kCreateNew, attributes));
  if (stream->isOpen()) {
    context->output = std::move(stream);
    return;
  }
  const int error = lastError();
  if (error != kErrorFileExists && error != kErrorAlreadyExists) return;
  uint32_t existing = 0;
  if (getAttributes(path, &existing) != 0) return;
  // A pipe or a device is not a file to replace: it is written through, as ever.
  if (existing & kAttrDevice) {
    stream.reset(new FileStream(path, kGenericWrite, kShareNone, kCreateAlways, attributes));
    if (stream->isOpen()) context->output = std::move(stream);
    return;
  }
  // What Windows refuses to write over stays refused (warning 1, as ever): a directory, a
  // read-only file, and a hidden or system file for an entry without that attribute.
  if ((existing & (kAttrDirectory | kAttrReadOnly)) ||
      (existing & (kAttrHidden | kAttrSystem) & ~attributes)) {
    return;
  }
  context->output = context->replacement.begin(path, attributes);
}

enum class Decision { kCreate, kFinished };

// An existing directory for a directory entry: its attributes are re-applied or it is left
// alone; either way the entry is not counted.
Decision ExistingDirectory(ExtractionContext* context, const CentralHeader* entry) {
  char* bare = context->scratch;
  FormatText(bare, kLongPathSize, "%s", context->outputName);
  size_t length = std::strlen(bare);
  // A search cannot look up a name that ends in a separator.
  while (length > 1 && bare[length - 1] == '/') bare[--length] = '\0';
  if (context->outputGuard) context->outputGuard->settle(bare);
  uint32_t attributes = 0;
  if (!LookUp(bare, &attributes) || !(attributes & kAttrDirectory)) return Decision::kCreate;

  if (context->overwrite == kOverwriteNever) return Decision::kFinished;
  if (context->overwrite != kOverwriteAlways) {
    switch (upperCaseChar(context->callbacks->AskDirectoryConflict(context->outputName))) {
      case 'A':
        context->overwrite = kOverwriteAlways;
        break;
      case 'N':
        return Decision::kFinished;
      case 'V':
        context->overwrite = kOverwriteNever;
        return Decision::kFinished;
      case kAnswerEscape:
        context->abortRequested = true;
        return Decision::kFinished;
      default:  // 'Y', 'R', no decision: re-apply
        break;
    }
  }
  setAttributes(context->outputName, DirectoryAttributes(context->options, *entry));
  return Decision::kFinished;
}

// A new name from the user: asked until one without wildcards is given, that fits a path.
// Returns false when no name was given at all, so that the entry is skipped instead of asking
// forever.
bool AskNewName(ExtractionContext* context, size_t* storedStart) {
  char* line = context->scratch;
  for (;;) {
    std::memset(line, 0, kLongPathSize);
    if (!context->callbacks->AskNewName(kNewNamePrompt, line, kLongPathSize)) return false;
    line[kLongPathSize - 1] = '\0';
    if (std::strpbrk(line, "*?")) continue;
    toForwardSlashes(line);
    // A typed name gets the same judgement as a stored one, past its drive.
    const bool hasDrive = line[0] != '\0' && line[1] == ':';
    if (windowsAltersPath(line + (hasDrive ? 2 : 0), NameEncoding::kUtf8)) continue;
    if (line[0] == '/' || std::strchr(line, ':')) {
      FormatText(context->pathBuffer, kLongPathSize, "%s", line);
      *storedStart = 0;
      break;
    }
    if (JoinPath(context->pathBuffer, context->destination, line)) {
      *storedStart = StoredStart(context->pathBuffer, context->destination);
      break;
    }
  }
  context->outputName = context->pathBuffer;
  return true;
}

// An existing file for a file entry: the overwrite mode, or the user, decides.
Decision ExistingFile(ExtractionContext* context, const CentralHeader* entry, size_t* storedStart) {
  for (;;) {
    if (context->outputGuard) context->outputGuard->settle(context->outputName);
    if (context->overwrite == kOverwriteAlways) return Decision::kCreate;
    if (!LookUp(context->outputName, nullptr)) return Decision::kCreate;
    if (context->overwrite == kOverwriteNever) {
      context->report.skipping(context->outputName);
      return Decision::kFinished;
    }
    switch (upperCaseChar(context->callbacks->AskOverwrite(context->outputName, entry))) {
      case 'A':
        context->overwrite = kOverwriteAlways;
        return Decision::kCreate;
      case 'N':
        context->report.skipping(context->outputName);
        return Decision::kFinished;
      case 'V':
        context->overwrite = kOverwriteNever;
        context->report.skipping(context->outputName);
        return Decision::kFinished;
      case 'R':
        if (!AskNewName(context, storedStart)) {
          context->report.skipping(context->outputName);
          return Decision::kFinished;
        }
        if (PassesThroughLink(context, context->outputName, *storedStart)) {
          context->report.warning(kWarnCannotCreate, context->outputName);
          return Decision::kFinished;
        }
        break;  // check the new name again
      case kAnswerEscape:
        context->abortRequested = true;
        return Decision::kFinished;
      default:  // 'Y' and anything else
        return Decision::kCreate;
    }
  }
}

// The volume label of the destination's drive, or of the current drive.
bool SetLabel(ExtractionContext* context) {
  const char* destination = context->destination;
  const bool hasDrive = ((destination[0] >= 'A' && destination[0] <= 'Z') ||
                         (destination[0] >= 'a' && destination[0] <= 'z')) &&
                        destination[1] == ':';
  if (hasDrive) {
    if (setVolumeLabel(destination, context->outputName) == 0) return true;
    FormatText(context->pathBuffer, kLongPathSize, "%c:%s", destination[0], context->outputName);
    context->outputName = context->pathBuffer;
  } else if (setVolumeLabel(nullptr, context->outputName) == 0) {
    return true;
  }
  context->report.warning(kWarnCannotCreate, context->outputName);
  return false;
}

}  // namespace

bool OpenOutput(ExtractionContext* context, const CentralHeader* entry) {
  const RunOptions& options = context->options;
  if (options.command == kCommandTest || options.command == kCommandConsole) return true;
  if (options.command == kCommandPrint) return OpenPrintDevice(context);

  const char* stored = context->nameBuffer;
  if (std::strchr(stored, ':') || stored[0] == '/' || ClimbsOut(stored)) {
    context->report.warning(kWarnIllegalPath, stored);
    return false;
  }

  uint32_t attributes = CreationAttributes(options, *entry);
  if (attributes & kAttrVolumeLabel) {
    if (!options.volume) return false;
    return SetLabel(context);
  }

  if (!options.Path) {
    if (char* slash = std::strrchr(context->outputName, '/')) context->outputName = slash + 1;
  }
  // Judged on what reaches the disk, before anything is made: a device would swallow the data
  // and a rewritten name could land on another entry's file.
  if (windowsAltersPath(context->outputName, NameEncoding::kUtf8)) {
    context->report.warning(kWarnIllegalPath, stored);
    return false;
  }
  if (!JoinPath(context->pathBuffer, context->destination, context->outputName)) {
    Text whole(context->destination);
    whole += context->outputName;
    context->report.warning(kWarnCannotCreate, whole.c_str());
    return false;
  }
  context->outputName = context->pathBuffer;
  size_t storedStart = StoredStart(context->pathBuffer, context->destination);
  if (PassesThroughLink(context, context->outputName, storedStart)) {
    context->report.warning(kWarnCannotCreate, context->outputName);
    return false;
  }

  const bool isDirectory = context->isDirectory;
  if (isDirectory) {
    if (ExistingDirectory(context, entry) == Decision::kFinished) return false;
  } else if (ExistingFile(context, entry, &storedStart) == Decision::kFinished) {
    return false;
  }

  bool storedSeparator = false;
  for (int attempt = 0; attempt < kCreationAttempts; ++attempt) {
    if (!isDirectory) CreateOutputFile(context, attributes);
    if (!context->output && options.Recurse) {
      char* scratch = context->scratch;
      FormatText(scratch, kLongPathSize, "%s", context->outputName);
      if (MakeDirectories(context, scratch, storedStart, isDirectory, options.Path, entry)) {
        storedSeparator = true;
      }
      if (!isDirectory) CreateOutputFile(context, attributes);
    }
    // A file the system refused once may be refused for the attributes asked: the second
    // attempt keeps only the plain ones.
    attributes = keepAttributes(attributes);
    if (!isDirectory && context->output) return true;
    // A directory entry counts only when its directory is really there: one that could not be
    // made (its parent missing, a file in the way) is reported, not listed as extracted.
    if (isDirectory && storedSeparator && IsDirectoryOnDisk(context->outputName)) return true;
  }
  context->report.warning(kWarnCannotCreate, context->outputName);
  return false;
}

bool OpenPrintDevice(ExtractionContext* context) {
  const char* device = context->options.printDevice.c_str();
  FindInfo found{};
  SearchHandle search = findFirst(device, &found);
  const bool exists = search != kNoSearch;
  context->destroyOutput();
  std::unique_ptr<FileStream> stream(new FileStream(device, kGenericWrite, kShareNone,
                                                    exists ? kOpenExisting : kCreateAlways,
                                                    exists ? 0 : kAttrNormal));
  if (!stream->isOpen()) {
    if (exists) endSearch(search);
    return context->fail(Status::Fatal(kFatalCannotOpenForWriting, device));
  }
  context->output = std::move(stream);
  // Every entry of a run opens the device again: appending keeps what earlier entries wrote.
  context->output->seek(0, kSeekEnd);
  if (exists) endSearch(search);
  return true;
}
