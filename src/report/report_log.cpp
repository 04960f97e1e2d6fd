#include "report/report_log.h"

#include <cstring>
#include <new>

ReportLog::~ReportLog() { clear(); }

void ReportLog::clear() {
  // One record at a time: a long log must not unwind recursively.
  while (first_) first_ = std::move(first_->next);
  last_ = nullptr;
}

void ReportLog::add(ReportKind kind, int number, const char* text) {
  std::unique_ptr<Record> record(new (std::nothrow) Record{kind, number, Text(text ? text : ""), nullptr});
  if (!record) return;
  Record* added = record.get();
  if (last_) {
    last_->next = std::move(record);
  } else {
    first_ = std::move(record);
  }
  last_ = added;
}

void SayAgain(Reporter& reporter, ReportKind kind, int number, const char* text) {
  switch (kind) {
    case ReportKind::kItem: reporter.item(text); break;
    case ReportKind::kTested: reporter.tested(); break;
    case ReportKind::kExtracted: reporter.extracted(); break;
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
    SayAgain(reporter, r->kind, r->number, r->text.c_str());
  }
  clear();
}

void LoggingFrontEnd::keep(ReportKind kind, int number, const char* text) {
  if (log_) {
    log_->add(kind, number, text);
  } else if (direct_) {
    SayAgain(*direct_, kind, number, text ? text : "");
  }
}

void LoggingFrontEnd::showMessage(void*, const char* text, const char*) {
  keep(ReportKind::kMessage, 0, text);
}

intptr_t LoggingFrontEnd::sendProgress(void*, unsigned message, uintptr_t wParam,
                                       const char* text) {
  switch (message) {
    case UM_ITEM: keep(ReportKind::kItem, 0, text); break;
    case UM_TESTED: keep(ReportKind::kTested, 0, nullptr); break;
    case UM_EXTRACTED: keep(ReportKind::kExtracted, 0, nullptr); break;
    case UM_ACTION: keep(ReportKind::kAction, 0, text); break;
    case UM_SKIPPING: keep(ReportKind::kSkipping, 0, text); break;
    case UM_AUTHENTIC: keep(ReportKind::kAuthentic, 0, nullptr); break;
    case UM_TESTING: keep(ReportKind::kTesting, 0, nullptr); break;
    case UM_WARNING: {
      // The Reporter put the warning's own text before the detail; the replaying one does again.
      const int number = static_cast<int>(wParam);
      const char* detail = text ? text : "";
      const size_t prefix = std::strlen(WarningText(number)) + 1;
      detail = std::strlen(detail) >= prefix ? detail + prefix : "";
      keep(ReportKind::kWarning, number, detail);
      break;
    }
    default:
      break;
  }
  return 1;
}
