#include "report/report_log.h"

#include <cstring>
#include <new>

ReportLog::~ReportLog() { clear(); }

void ReportLog::clear() {
  // One record at a time: a long log must not unwind recursively.
  while (first_) first_ = std::move(first_->next);
  last_ = nullptr;
}

void ReportLog::add(ReportKind kind, int number, const char* text, uint64_t bytes) {
  std::unique_ptr<Record> record(
      new (std::nothrow) Record{kind, number, bytes, Text(text ? text : ""), nullptr});
  if (!record) return;
  Record* added = record.get();
  if (last_) {
    last_->next = std::move(record);
  } else {
    first_ = std::move(record);
  }
  last_ = added;
}

void SayAgain(Reporter& reporter, ReportKind kind, int number, const char* text,
              uint64_t bytes) {
  switch (kind) {
    case ReportKind::kItem: reporter.item(text); break;
    case ReportKind::kTested: reporter.tested(); break;
    case ReportKind::kExtracted: reporter.extracted(bytes); break;
    case ReportKind::kAction: reporter.action(text); break;
    case ReportKind::kSkipping: reporter.skipping(text); break;
    case ReportKind::kAuthentic: reporter.authentic(); break;
    case ReportKind::kTesting: reporter.testing(); break;
    case ReportKind::kWarning: reporter.warning(number, text); break;
    case ReportKind::kMessage: reporter.show(text); break;
  }
}

void ReportLog::replay(Reporter& reporter) {
  for (const Record* r = first_.get(); r; r = r->next.get()) {
    SayAgain(reporter, r->kind, r->number, r->text.c_str(), r->bytes);
  }
  clear();
}

void LoggingFrontEnd::keep(ReportKind kind, int number, const char* text, uint64_t bytes) {
  if (log_) {
    log_->add(kind, number, text, bytes);
  } else if (direct_) {
    SayAgain(*direct_, kind, number, text ? text : "", bytes);
  }
}

void LoggingFrontEnd::showMessage(void*, const char* text, const char*) {
  keep(ReportKind::kMessage, 0, text);
}

void LoggingFrontEnd::onWarning(int number, const char* text) {
  // The Reporter put the warning's own text before the detail; the replaying one does again.
  const char* detail = text ? text : "";
  const size_t prefix = std::strlen(WarningText(number)) + 1;
  detail = std::strlen(detail) >= prefix ? detail + prefix : "";
  keep(ReportKind::kWarning, number, detail);
}
