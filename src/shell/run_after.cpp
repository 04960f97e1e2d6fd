#include "shell/run_after.h"

#include <cstring>

#include "extract/crc32.h"
#include "fs/codepage.h"
#include "shell/directive_record.h"
#include "shell/setup_directives.h"
#include "zip/archive_state.h"
#include "zip/byte_reader.h"

namespace {

// The record whose 20-byte header was just read, its command next in the stream; or false.
bool ReadRecordAt(FileStream& stream, const uint8_t* header, RunAfter* run) {
  if (le16(header + kRunRecordVersion) > kRunRecordVersionValue) return false;
  uint16_t length = le16(header + kRunRecordCommandLength);
  if (length == 0 || length > kRunCommandMax || le16(header + kRunRecordReserved) != 0) return false;
  char command[kRunCommandMax];
  uint32_t got = 0;
  if (stream.read(command, length, &got) != 0 || got != length) return false;
  uint32_t crc = Crc32Update(0, header + kRunRecordCrcFrom, kRunRecordCrc - kRunRecordCrcFrom);
  crc = Crc32Update(crc, reinterpret_cast<const uint8_t*>(command), length);
  if (crc != le32(header + kRunRecordCrc)) return false;
  // A NUL would cut the command short of what the builder checked.
  if (std::memchr(command, 0, length)) return false;
  // The record keeps the command in 1252; the program takes it in UTF-8, as every text.
  char utf8[3 * kRunCommandMax];
  run->command = Text(utf8, AnsiToUtf8Into(command, length, utf8));
  run->checked = (le16(header + kRunRecordFlags) & kRunFlagChecked) != 0;
  return true;
}

}  // namespace

void FindRunAfter(FileStream& stream, RunAfter* run) {
  *run = RunAfter();
  uint8_t header[kRunRecordHeaderSize];
  for (uint32_t block = 0; block < kDirectiveSearchBlocks; ++block) {
    uint32_t got = 0;
    if (stream.read(header, kDirectiveAlignmentBytes, &got) != 0 || got < kDirectiveAlignmentBytes) {
      return;
    }
    if (le32(header) != kRunRecordSignatureLow || le32(header + 4) != kRunRecordSignatureHigh) {
      continue;
    }
    uint32_t next = stream.position();
    uint32_t rest = kRunRecordHeaderSize - kDirectiveAlignmentBytes;
    if (stream.read(header + kDirectiveAlignmentBytes, rest, &got) == 0 && got == rest &&
        ReadRecordAt(stream, header, run)) {
      return;
    }
    *run = RunAfter();
    if (stream.seek(static_cast<int32_t>(next), kSeekStart) != next) return;
  }
}

void ReadRunAfter(const char* path, RunAfter* run) {
  FileStream stream(path, kGenericRead, kShareRead, kOpenExisting, 0);
  *run = RunAfter();
  if (stream.isOpen()) FindRunAfter(stream, run);
  stream.close();
}

void ReadRunAfter(ArchiveState& archive, RunAfter* run) {
  *run = RunAfter();
  if (!archive.stream) return;
  uint32_t kept = archive.stream->position();
  archive.stream->rewind();
  FindRunAfter(*archive.stream, run);
  archive.stream->seek(static_cast<int32_t>(kept), kSeekStart);
}

ProgramCommand SplitRunCommand(const char* command, const char* destination) {
  const char* p = command;
  while (*p == ' ' || *p == '\t') ++p;
  const char* start = p;
  const char* end;
  const char* rest;
  if (*p == '"') {
    start = ++p;
    while (*p && *p != '"') ++p;
    end = p;
    rest = *p ? p + 1 : p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
    end = p;
    rest = p;
  }
  ProgramCommand out;
  Text program(start, static_cast<size_t>(end - start));
  out.program = ReplaceAll(program.c_str(), destination, "%0");
  out.commandLine += '"';
  out.commandLine += out.program.c_str();
  out.commandLine += '"';
  out.commandLine += ReplaceAll(rest, destination, "%0").c_str();
  return out;
}

bool HasPath(const char* program) {
  for (const char* p = program; *p; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') return true;
  }
  return false;
}
