// What a Reporter said about one entry, kept to be said again later through another Reporter:
// a run that decodes entries on several threads reports each entry's lines, warnings and
// counts in the order a run on one thread reports them, whichever entry finishes first.
#pragma once

#include <cstdint>
#include <memory>

#include "fs/text.h"
#include "report/report.h"

enum class ReportKind : uint8_t {
  kItem, kTested, kExtracted, kAction, kSkipping, kAuthentic, kTesting, kWarning, kMessage,
};

class ReportLog {
 public:
  ReportLog() = default;
  ~ReportLog();
  ReportLog(const ReportLog&) = delete;
  ReportLog& operator=(const ReportLog&) = delete;

  void add(ReportKind kind, int number, const char* text, uint64_t bytes = 0);
  // Says everything again through reporter, in the order it came, and empties the log.
  void replay(Reporter& reporter);
  void clear();
  bool empty() const { return !first_; }

 private:
  struct Record {
    ReportKind kind;
    int number;
    uint64_t bytes;  // of an extracted entry
    Text text;
    std::unique_ptr<Record> next;
  };
  std::unique_ptr<Record> first_;
  Record* last_ = nullptr;
};

// Says one report through reporter, as the Reporter call that made it did.
void SayAgain(Reporter& reporter, ReportKind kind, int number, const char* text,
              uint64_t bytes = 0);

// A front end that keeps what its Reporter reports in the log set last; without a log, it
// says it at once through the direct Reporter (when there is one).
// Its Reporter always has a progress window, so that every warning arrives as one, with its
// number, whatever the Reporter that replays it does with it.
class LoggingFrontEnd : public ReportFrontEnd {
 public:
  LoggingFrontEnd() : reporter_(*this, this) {}
  LoggingFrontEnd(const LoggingFrontEnd&) = delete;
  LoggingFrontEnd& operator=(const LoggingFrontEnd&) = delete;

  void setLog(ReportLog* log) { log_ = log; }
  void setDirect(Reporter* direct) { direct_ = direct; }
  // Where onWriting goes: a figure of the moment is never kept in the log. Without a sink it
  // goes to the direct Reporter while nothing is being kept.
  void setWritingSink(void (*sink)(void* argument, uint64_t bytes), void* argument) {
    writingSink_ = sink;
    writingArgument_ = argument;
  }
  Reporter& reporter() { return reporter_; }

  void showMessage(void* owner, const char* text, const char* caption) override;
  void onTesting() override { keep(ReportKind::kTesting, 0, nullptr); }
  void onAction(const char* label) override { keep(ReportKind::kAction, 0, label); }
  void onItem(const char* name) override { keep(ReportKind::kItem, 0, name); }
  void onTested() override { keep(ReportKind::kTested, 0, nullptr); }
  void onExtracted(uint64_t bytes) override { keep(ReportKind::kExtracted, 0, nullptr, bytes); }
  void onSkipping(const char* name) override { keep(ReportKind::kSkipping, 0, name); }
  void onAuthentic() override { keep(ReportKind::kAuthentic, 0, nullptr); }
  void onWarning(int number, const char* text) override;
  // The program's texts, through the direct Reporter's front end: a worker has none of its own.
  int loadString(int id, char* buffer, int size) override {
    if (size > 0) buffer[0] = 0;
    return direct_ ? direct_->frontEnd().loadString(id, buffer, size) : 0;
  }
  void onWriting(uint64_t bytes) override {
    if (writingSink_) {
      writingSink_(writingArgument_, bytes);
    } else if (!log_ && direct_) {
      direct_->writing(bytes);
    }
  }

 private:
  void keep(ReportKind kind, int number, const char* text, uint64_t bytes = 0);

  ReportLog* log_ = nullptr;
  Reporter* direct_ = nullptr;
  void (*writingSink_)(void*, uint64_t) = nullptr;
  void* writingArgument_ = nullptr;
  Reporter reporter_;
};
