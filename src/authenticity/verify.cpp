#include "authenticity/verify.h"

#include <cstring>
#include <memory>
#include <new>

#include "authenticity/record.h"
#include "report/report.h"
#include "fs/codepage.h"
#include "fs/text.h"
#include "zip/byte_reader.h"

namespace {

Text Utf8Of(const char* ansi, size_t length) {
  std::unique_ptr<char[]> utf8(new char[3 * length + 1]);
  return Text(utf8.get(), AnsiToUtf8Into(ansi, length, utf8.get()));
}

}  // namespace

Status VerifyAuthenticity(const AuthenticitySummary& summary, Reporter& report) {
  // Protected entries without exactly one record cannot be vouched for.
  if (summary.recordCount == 0) {
    if (summary.marked) report.warning(kWarnAuthenticityUnvouched, "");
    return Status();
  }
  if (summary.recordCount >= 2) {
    report.warning(kWarnAuthenticityUnvouched, "");
    return Status();
  }

  // Data that a decoder gave up on may have been written in part: it is not what was signed,
  // whatever its stored CRC says.
  if (summary.undecodable) {
    report.warning(kWarnAuthenticityFailed, "");
    return Status();
  }

  // The record's data size comes from the archive: a size that runs past the entry's extra
  // field fails like a record that does not open, and nothing past the field is read.
  ByteReader field(summary.record, kRecordFieldHeaderSize + size_t{summary.recordLength});
  field.skip(2);
  uint16_t size = field.u16();
  if (field.failed() || size < kRecordBlockSize || size > field.remaining()) {
    report.warning(kWarnAuthenticityFailed, "");
    return Status();
  }
  // One byte more for the NUL that ends a name running to the end of the data.
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size + 1u]);
  if (!data) return Status::Fatal(kFatalNoMemoryForAuthenticity);
  std::memcpy(data.get(), field.current(), size);

  OpenedRecord opened;
  if (!OpenAuthenticityRecord(summary.total, data.get(), size, &opened)) {
    report.warning(kWarnAuthenticityFailed, "");
    return Status();
  }
  // The record keeps its texts in 1252; the front ends show UTF-8.
  const Text name = Utf8Of(opened.name, opened.nameLength);
  const Text text = Utf8Of(opened.text, opened.textLength);
  report.authenticity({opened.code, name.c_str(), text.c_str(), text.size()});
  return Status();
}
