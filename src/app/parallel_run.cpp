#include "app/parallel_run.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "app/threads.h"
#include "authenticity/verify.h"
#include "fs/name_key.h"
#include "fs/text.h"
#include "report/report_log.h"
#include "zip/read_ahead.h"

namespace {

constexpr unsigned kMaxWorkers = 64;
// Entries in flight per worker: enough that the other workers keep going past a large entry
// that one of them is still decoding (which must be reported before the entries after it);
// with 4 per worker, a 2-core test of a tree with a few large files gained 15 % over one
// worker, with 32 it gains 60 %. Each holds no data, only its output file while being written:
// the total stays well under a process's usual limit of open files.
constexpr unsigned kJobsPerWorker = 32;
constexpr unsigned kMaxJobs = 256;
// Entries with less compressed data than this are decoded on the run thread: handing one to a
// worker and back costs more than its decoding.
constexpr uint64_t kSmallEntry = 16 * 1024;

// One entry between the run thread and the worker that decodes it.
struct Job {
  const CentralHeader* entry = nullptr;
  ReportLog log;
  bool decode = false;  // its data goes to a worker; otherwise the run thread finished it
  bool madeFile = false;  // the run made a file for it (at outputPath)
  bool done = false;
  // What the worker needs to decode it. Whole: a path may pass the classic 260 characters.
  Text nameBuffer;
  Text outputPath;
  bool isDirectory = false;
  bool decrypting = false;
  CipherKeys keys;
  bool aesDecrypting = false;
  AesParameters aes;
  AesKeys aesKeys;  // the worker makes its own cipher and code objects from these
  uint64_t dataOffset = 0;
  uint64_t remainingInput = 0;
  std::unique_ptr<FileStream> output;
  // The file of ours that is to replace the existing one at outputPath: written by the worker,
  // put in place when the entry is said, in entry order, so that a run stopped at an earlier
  // entry never leaves a later one's file in place of what was there.
  Replacement replacement;
  std::unique_ptr<NtfsTimes> times;
  // How it ended.
  Status status;
  AfterEntry after = AfterEntry::kNextEntry;
  CrcCheck crcCheck = CrcCheck::kNotChecked;
  uint32_t computedCrc = 0;
  int processed = 0;
  // Bytes written so far by its worker, and the figure said for it (under the monitor).
  uint64_t written = 0;
  uint64_t shown = 0;
  bool saidAtOnce = false;  // its first reports were said as made, not kept (run thread only)
};

class Pool;

struct Worker {
  Pool* pool = nullptr;
  Thread thread;
  LoggingFrontEnd log;
  ArchiveState reader;  // its own stream on the archive
  std::unique_ptr<ExtractionContext> context;
  Job* job = nullptr;   // the entry it decodes
};

// Two output paths name one file when they are equal under the case rule Windows applies to
// names, Cyrillic or accented letters as well as ASCII ones.
bool SamePath(const char* a, const char* b) { return SameNameIgnoringCase(a, b); }

const char* LastComponent(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

// The pool is also the run thread's callbacks: before any question, what came before it in a
// run on one thread is said first; and its output guard.
class Pool : public UserCallbacks, public OutputGuard {
 public:
  Pool(Session& session, const RunRequest& request, unsigned workers)
      : session_(session),
        request_(request),
        inner_(session.callbacks),
        context_(&session.archive, request.options, runLog_.reporter(),
                 session.callbacks ? this : nullptr, request.destination.c_str()),
        authenticity_(session.authenticity) {
    context_.outputGuard = this;
    context_.holdReplacement = true;
    runLog_.setDirect(&session.reporter);
    context_.cancel = request.cancel;
    workerCount_ = workers;
    capacity_ = workers * kJobsPerWorker < kMaxJobs ? workers * kJobsPerWorker : kMaxJobs;
    jobs_.reset(new (std::nothrow) Job[capacity_]);
    queue_.reset(new (std::nothrow) uint32_t[capacity_]);
    workers_.reset(new (std::nothrow) Worker[workers]);
    if (!context_.ready() || !jobs_ || !queue_ || !workers_) return;
    for (unsigned i = 0; i < workers; ++i) {
      Worker& w = workers_[i];
      w.reader.stream = new (std::nothrow) ReadAheadStream(session.archive.archivePath);
      if (!w.reader.stream || !w.reader.stream->isOpen()) return;
      w.reader.zoneMark = session.archive.zoneMark;
      w.context.reset(new (std::nothrow) ExtractionContext(
          &w.reader, request.options, w.log.reporter(), nullptr, request.destination.c_str()));
      if (!w.context || !w.context->ready()) return;
      w.context->cancel = request.cancel;
      w.context->holdReplacement = true;
    }
    for (unsigned i = 0; i < workers; ++i) {
      workers_[i].pool = this;
      if (!workers_[i].thread.start(&Pool::workOn, &workers_[i])) break;
      ++started_;
    }
  }

  ~Pool() {
    {
      MonitorLock lock(monitor_);
      closing_ = true;
      monitor_.notifyAll();
    }
    for (unsigned i = 0; i < started_; ++i) workers_[i].thread.join();
  }

  bool ready() const { return started_ != 0 && started_ == workerCount_; }

  // A worker's entry has bytes written so far: the run thread says it when that entry is the
  // next to be said (see replayBefore).
  static void Written(void* argument, uint64_t bytes) {
    Worker& worker = *static_cast<Worker*>(argument);
    MonitorLock lock(worker.pool->monitor_);
    worker.job->written = bytes;
    worker.pool->monitor_.notifyAll();
  }

  Status run(int* processed);

  // UserCallbacks: every question waits until it is its turn.
  int AskOverwrite(const char* name, const CentralHeader* entry) override {
    return settleAll() ? inner_->AskOverwrite(name, entry) : kAnswerEscape;
  }
  int AskDirectoryConflict(const char* name) override {
    return settleAll() ? inner_->AskDirectoryConflict(name) : kAnswerEscape;
  }
  int AskNewName(const char* prompt, char* buffer, int size) override {
    return settleAll() ? inner_->AskNewName(prompt, buffer, size) : 0;
  }
  int AskLastDisk() override { return settleAll() ? inner_->AskLastDisk() : kKeyAbort; }
  int AskDisk(int diskNumber) override { return settleAll() ? inner_->AskDisk(diskNumber) : kKeyAbort; }
  char* GetPassword(char* buffer, int size) override {
    if (settleAll()) return inner_->GetPassword(buffer, size);
    if (size > 0) buffer[0] = '\0';
    return buffer;
  }
  int AskYesNo(const char* question) override { return settleAll() ? inner_->AskYesNo(question) : 0; }
  int AskPassword(const char* entryName, char* buffer, int size) override {
    if (!settleAll()) return kPasswordSkipAll;
    inner_->lastPasswordWrong = lastPasswordWrong;
    return inner_->AskPassword(entryName, buffer, size);
  }

  // OutputGuard: an entry still being written to the same path finishes first.
  void settle(const char* path) override {
    // The run thread alone writes the jobs' paths: no lock is needed to read them here.
    for (uint32_t seq = replayed_; seq < current_; ++seq) {
      const Job& job = slot(seq);
      // A file made on the run thread may be a replacement not yet in place.
      if ((job.decode || job.madeFile) && SamePath(job.outputPath.c_str(), path)) {
        replayBefore(current_);
        return;
      }
    }
  }

 private:
  Job& slot(uint32_t seq) { return jobs_[seq % capacity_]; }
  static void workOn(void* worker) { static_cast<Worker*>(worker)->pool->work(*static_cast<Worker*>(worker)); }
  void work(Worker& worker);
  void decode(Worker& worker, Job& job);
  // True when the entry stops the run before its data (a failure, the user's Escape).
  bool prepare(const CentralHeader* entry);
  // Says again what the entries before seq reported, waiting for those still being decoded.
  void replayBefore(uint32_t seq);
  // The same for the entries already done, without waiting.
  void replayDone();
  void replay(Job& job);
  // Before a question: the earlier entries, then what the entry in hand has reported so far.
  // False once the run has stopped at an earlier entry: the question is not asked.
  bool settleAll();
  // Freshening and updating look at the file an earlier entry may still be writing.
  void settleTarget(const CentralHeader* entry);

  Session& session_;
  const RunRequest& request_;
  UserCallbacks* inner_;
  LoggingFrontEnd runLog_;
  ExtractionContext context_;
  AuthenticitySummary authenticity_;
  unsigned capacity_ = 0;
  std::unique_ptr<Job[]> jobs_;
  std::unique_ptr<uint32_t[]> queue_;  // sequence numbers of the jobs for the workers
  std::unique_ptr<Worker[]> workers_;
  unsigned workerCount_ = 0;
  unsigned started_ = 0;

  // One lock and condition for both directions: work for the workers, jobs done for the run
  // thread. Each Job's `done`, and what a worker writes into it before, are under it too.
  Monitor monitor_;
  uint32_t queueHead_ = 0;  // under monitor_
  uint32_t queueTail_ = 0;  // under monitor_
  bool closing_ = false;    // under monitor_
  bool discard_ = false;    // under monitor_: the run has stopped; queued jobs are dropped

  // The run thread's own.
  uint32_t prepared_ = 0;  // entries handed out so far
  uint32_t current_ = 0;   // the entry being prepared
  uint32_t replayed_ = 0;
  bool stopped_ = false;
  Status status_;
  int processed_ = 0;
};

void Pool::work(Worker& worker) {
  monitor_.lock();
  for (;;) {
    while (queueHead_ == queueTail_ && !closing_) monitor_.wait();
    if (queueHead_ == queueTail_) break;
    Job& job = slot(queue_[queueHead_++ % capacity_]);
    const bool dropped = discard_;
    monitor_.unlock();
    if (dropped) {
      job.output.reset();
      job.replacement.drop();
    } else {
      decode(worker, job);
    }
    monitor_.lock();
    job.done = true;
    monitor_.notifyAll();
  }
  monitor_.unlock();
}

void Pool::decode(Worker& worker, Job& job) {
  ExtractionContext& c = *worker.context;
  worker.log.setLog(&job.log);
  worker.job = &job;
  worker.log.setWritingSink(&Pool::Written, &worker);
  c.entry = job.entry;
  // Both came from buffers of the same size.
  std::memcpy(c.nameBuffer, job.nameBuffer.c_str(), job.nameBuffer.size() + 1);
  std::memcpy(c.pathBuffer, job.outputPath.c_str(), job.outputPath.size() + 1);
  c.outputName = c.pathBuffer;
  c.isDirectory = job.isDirectory;
  c.decrypting = job.decrypting;
  c.keys = job.keys;
  c.aesDecrypting = job.aesDecrypting;
  c.aes = job.aes;
  c.aesKeys = job.aesKeys;
  c.remainingInput = job.remainingInput;
  c.output = std::move(job.output);
  c.replacement = std::move(job.replacement);
  c.crcCheck = CrcCheck::kNotChecked;
  c.processedCount = 0;
  worker.reader.stream->seek(static_cast<int64_t>(job.dataOffset), kSeekStart);
  job.after = FinishEntry(&c, job.entry, job.times.get());
  job.status = c.status;
  job.crcCheck = c.crcCheck;
  job.computedCrc = c.computedCrc;
  job.processed += c.processedCount;
  c.destroyOutput();
  job.replacement = std::move(c.replacement);
  job.times.reset();
  worker.log.setLog(nullptr);
}

bool Pool::prepare(const CentralHeader* entry) {
  const uint32_t seq = prepared_;
  Job& job = slot(seq);
  job.entry = entry;
  job.decode = false;
  job.madeFile = false;
  job.replacement.drop();
  job.done = false;
  job.status = Status();
  job.log.clear();
  job.written = job.shown = 0;
  job.saidAtOnce = replayed_ == seq;
  current_ = seq;
  // With every entry before this one said, this one's reports need no keeping until it goes
  // to a worker.
  runLog_.setLog(replayed_ == seq ? nullptr : &job.log);

  std::unique_ptr<NtfsTimes> times;
  bool toDecode = false;
  const int before = context_.processedCount;
  job.after = PrepareEntry(&context_, entry, &times, &toDecode);
  job.madeFile = toDecode && context_.output && request_.options.command == kCommandExtract;
  if (job.madeFile) job.outputPath = context_.outputName;
  if (toDecode && context_.remainingInput < kSmallEntry) {
    job.after = FinishEntry(&context_, entry, times.get());
    toDecode = false;
  }
  job.replacement = std::move(context_.replacement);
  job.processed = context_.processedCount - before;
  job.crcCheck = context_.crcCheck;
  job.computedCrc = context_.computedCrc;
  if (context_.failed()) {
    // The run stops here, once the entries before this one have had their say.
    job.status = context_.status;
    context_.status = Status();
  }
  runLog_.setLog(nullptr);
  if (toDecode) {
    job.decode = true;
    job.nameBuffer = context_.nameBuffer.get();
    job.outputPath = context_.outputName;
    job.isDirectory = context_.isDirectory;
    job.decrypting = context_.decrypting;
    job.keys = context_.keys;
    job.aesDecrypting = context_.aesDecrypting;
    job.aes = context_.aes;
    job.aesKeys = context_.aesKeys;
    job.remainingInput = context_.remainingInput;
    job.dataOffset = session_.archive.stream->position();
    job.output = std::move(context_.output);
    job.times = std::move(times);
  }
  // Read before the job is handed over: a worker writes its outcome afterwards.
  const bool stops = !toDecode && (job.after == AfterEntry::kStopRun || !job.status.ok());
  MonitorLock lock(monitor_);
  ++prepared_;
  current_ = prepared_;
  if (toDecode) {
    queue_[queueTail_++ % capacity_] = seq;
    monitor_.notifyAll();
  } else {
    job.done = true;
  }
  return stops;
}

void Pool::replay(Job& job) {
  if (stopped_) {
    // An entry past the one that stopped the run, which a run on one thread never reached: it
    // says nothing, and the file made for it goes.
    job.log.clear();
    if (job.replacement.active()) {
      job.replacement.drop();
    } else if (job.madeFile) {
      deleteFile(job.outputPath.c_str());
    }
    return;
  }
  job.log.replay(session_.reporter);
  if (job.replacement.active() && !job.replacement.commit()) {
    // Said as a run on one thread says it, though after the entry's own lines.
    session_.reporter.warning(kWarnCannotCreate, job.outputPath.c_str());
    if (job.crcCheck == CrcCheck::kMatched && job.processed > 0) --job.processed;
  }
  if (job.crcCheck == CrcCheck::kMismatched) {
    AuthenticityCrcMismatch(&authenticity_, job.entry, job.computedCrc);
  } else if (job.crcCheck == CrcCheck::kMatched) {
    AuthenticityVerifiedEntry(&authenticity_, job.entry, session_.reporter);
  } else if (job.crcCheck == CrcCheck::kUndecodable) {
    AuthenticityUndecodable(&authenticity_, job.entry);
  }
  processed_ += job.processed;
  if (!job.status.ok()) {
    status_ = job.status;
    stopped_ = true;
  } else if (job.after == AfterEntry::kStopRun) {
    stopped_ = true;
  }
  if (stopped_) {
    MonitorLock lock(monitor_);
    discard_ = true;
  }
}

void Pool::replayBefore(uint32_t seq) {
  while (replayed_ < seq) {
    Job& job = slot(replayed_);
    // While the entry the user sees next is being written, its figure moves; said from this
    // thread, like every report, and only once its own first reports have been said.
    for (;;) {
      uint64_t written = 0;
      {
        MonitorLock lock(monitor_);
        while (!job.done && job.written == job.shown) monitor_.wait();
        if (job.done) break;
        written = job.shown = job.written;
      }
      if (!stopped_ && job.saidAtOnce) session_.reporter.writing(written);
    }
    replay(job);
    ++replayed_;
  }
}

void Pool::replayDone() {
  while (replayed_ < prepared_) {
    Job& job = slot(replayed_);
    {
      MonitorLock lock(monitor_);
      if (!job.done) return;
    }
    replay(job);
    ++replayed_;
  }
}

bool Pool::settleAll() {
  replayBefore(current_);
  if (stopped_) return false;
  slot(current_).log.replay(session_.reporter);
  return true;
}

void Pool::settleTarget(const CentralHeader* entry) {
  Text name(entry->name, entry->nameLength);
  const char* last = name.empty() ? "" : LastComponent(toForwardSlashes(name.data()));
  for (uint32_t seq = replayed_; seq < prepared_; ++seq) {
    const Job& job = slot(seq);
    if ((job.decode || job.madeFile) && SamePath(LastComponent(job.outputPath.c_str()), last)) {
      replayBefore(prepared_);
      return;
    }
  }
}

Status Pool::run(int* processed) {
  ArchiveState& archive = session_.archive;
  const RunOptions& options = request_.options;
  const uint32_t count = archive.entryCount;
  const int key = options.SortExtract;
  sortEntries(key, archive.entries(), count, archive.spanned != 0);
  CentralHeader* entries = archive.entries();
  const bool backwards = key >= kSortDescending;
  const bool looksAtTargets =
      options.extractSelection == kSelectFreshen || options.extractSelection == kSelectUpdate;
  for (uint32_t i = 0; i < count && !stopped_; ++i) {
    if (request_.cancel && request_.cancel->load()) {
      replayBefore(prepared_);
      if (!stopped_) status_ = Status::Exit(kExitCancelled);
      stopped_ = true;
      break;
    }
    const CentralHeader* entry = &entries[backwards ? count - 1 - i : i];
    if (!SelectEntry(request_.names, options, entry)) continue;
    if (looksAtTargets) settleTarget(entry);
    if (!SelectByTarget(options, context_.destination, entry)) continue;
    // A free place for the entry: the oldest in flight is said first.
    if (prepared_ - replayed_ >= capacity_) replayBefore(replayed_ + 1);
    if (prepare(entry)) {
      replayBefore(prepared_);
      break;
    }
    replayDone();
  }
  replayBefore(prepared_);
  if (processed) *processed = processed_;
  if (!status_.ok()) return status_;
  return VerifyAuthenticity(authenticity_, session_.reporter);
}

}  // namespace

unsigned RunWorkerCount() {
  unsigned workers = 0;
  if (const char* setting = std::getenv("VESPA_WORKERS")) {
    workers = static_cast<unsigned>(std::atoi(setting));
  } else {
    workers = ProcessorCount();
  }
  if (workers < 1) workers = 1;
  return workers > kMaxWorkers ? kMaxWorkers : workers;
}

bool RunsOnWorkers(const Session& session, const RunRequest& request, unsigned workers) {
  const Command command = request.options.command;
  return workers > 1 && !session.archive.spanned &&
         (command == kCommandTest || command == kCommandExtract);
}

Status RunEntriesOnWorkers(Session& session, const RunRequest& request, unsigned workers,
                           int* processed, bool* ran) {
  *ran = false;
  std::unique_ptr<Pool> pool(new (std::nothrow) Pool(session, request, workers));
  if (!pool || !pool->ready()) return Status();
  *ran = true;
  return pool->run(processed);
}
