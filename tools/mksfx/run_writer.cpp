#include "run_writer.h"

#include "extract/crc32.h"
#include "fs/codepage.h"
#include "shell/run_record.h"
#include "zip/byte_reader.h"

namespace {

bool CheckCommand(const std::string& utf8, const std::string& ansi, std::string* error) {
  if (AnsiToUtf8(ansi) != utf8) {
    *error = "--run '" + utf8 + "' has a character outside code page 1252";
    return false;
  }
  if (ansi.size() > kRunCommandMax) {
    *error = "--run has " + std::to_string(ansi.size()) + " bytes; the stub takes at most " +
             std::to_string(kRunCommandMax);
    return false;
  }
  for (unsigned char c : ansi) {
    if (c < 0x20 && c != '\t') {
      *error = "--run has a control character";
      return false;
    }
  }
  size_t start = ansi.find_first_not_of(" \t");
  if (start == std::string::npos || ansi.compare(start, 2, "\"\"") == 0) {
    *error = "--run names no program";
    return false;
  }
  if (ansi[start] == '"' && ansi.find('"', start + 1) == std::string::npos) {
    *error = "--run: the program's opening '\"' is never closed";
    return false;
  }
  return true;
}

}  // namespace

bool MakeRunRecord(const RunAfterOptions& options, std::vector<uint8_t>* record,
                   std::string* error) {
  record->clear();
  if (options.command.empty()) return true;
  std::string ansi = Utf8ToAnsi(options.command);
  if (!CheckCommand(options.command, ansi, error)) return false;
  record->assign(kRunRecordHeaderSize + ansi.size(), 0);
  uint8_t* p = record->data();
  putLe32(p, kRunRecordSignatureLow);
  putLe32(p + 4, kRunRecordSignatureHigh);
  putLe16(p + kRunRecordVersion, kRunRecordVersionValue);
  putLe16(p + kRunRecordFlags, options.checked ? kRunFlagChecked : 0);
  putLe16(p + kRunRecordCommandLength, static_cast<uint16_t>(ansi.size()));
  putLe16(p + kRunRecordReserved, 0);
  for (size_t i = 0; i < ansi.size(); ++i) p[kRunRecordHeaderSize + i] = static_cast<uint8_t>(ansi[i]);
  uint32_t crc = Crc32Update(0, p + kRunRecordCrcFrom, kRunRecordCrc - kRunRecordCrcFrom);
  crc = Crc32Update(crc, p + kRunRecordHeaderSize, static_cast<uint32_t>(ansi.size()));
  putLe32(p + kRunRecordCrc, crc);
  return true;
}
