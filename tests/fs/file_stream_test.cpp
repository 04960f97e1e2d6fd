// The stream object and the handle-level wrappers under it: positions, sizes, failed opens and
// seeks, the refusals Windows makes that Linux would not, and the console-break deferral.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "fs/fs.h"
#include "temp_dir.h"

namespace {

TEST(FileStream, ReadsAdvanceThePositionAndEndOfFileIsASuccessfulEmptyRead) {
  TempDir dir;
  dir.write("data.bin", "0123456789");
  FileStream stream(dir.file("data.bin").c_str(), kGenericRead, kShareRead, kOpenExisting, kAttrNormal);
  ASSERT_EQ(stream.isOpen(), 1);
  EXPECT_EQ(stream.size(), 10u);
  EXPECT_EQ(stream.status(), 0);

  char buffer[16] = {};
  uint32_t got = 99;
  EXPECT_EQ(stream.read(buffer, 4, &got), 0);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(stream.position(), 4u);

  EXPECT_EQ(stream.read(buffer, 16, &got), 0);  // short read up to the end
  EXPECT_EQ(got, 6u);
  EXPECT_EQ(stream.position(), 10u);

  EXPECT_EQ(stream.read(buffer, 16, &got), 0);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(stream.position(), 10u);
}

TEST(FileStream, SeekReportsTheAbsolutePositionAndAFailedSeekKeepsTheOldOne) {
  TempDir dir;
  dir.write("data.bin", std::string(100, 'x'));
  FileStream stream(dir.file("data.bin").c_str(), kGenericRead, kShareRead, kOpenExisting, kAttrNormal);
  ASSERT_EQ(stream.isOpen(), 1);

  EXPECT_EQ(stream.seek(0, kSeekEnd), 100u);
  EXPECT_EQ(stream.seek(-30, kSeekCurrent), 70u);
  EXPECT_EQ(stream.seek(-80, kSeekCurrent), 70u);  // would land before the start
  EXPECT_EQ(stream.position(), 70u);
  EXPECT_EQ(stream.seek(5, 7), 70u);  // no such origin
  char c;
  uint32_t got = 0;
  ASSERT_EQ(stream.read(&c, 1, &got), 0);
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(stream.position(), 71u);  // the OS position stayed where the stream thinks it is

  // Positions are 64-bit: 0xFFFFFFFF is a position like any other, and so is one past 4 GiB,
  // in a file or beyond its end.
  EXPECT_EQ(stream.seek(0x7FFFFFFF, kSeekStart), 0x7FFFFFFFu);
  EXPECT_EQ(stream.seek(0x80000000, kSeekCurrent), 0xFFFFFFFFu);
  EXPECT_EQ(stream.seek(1, kSeekCurrent), 0x100000000u);
  EXPECT_EQ(stream.seek(int64_t{6} << 30, kSeekStart), uint64_t{6} << 30);
  EXPECT_EQ(stream.seek(INT64_MAX, kSeekEnd), uint64_t{6} << 30);  // would carry past 2^63

  EXPECT_EQ(stream.rewind(), 1);
  EXPECT_EQ(stream.position(), 0u);
  ASSERT_EQ(stream.read(&c, 1, &got), 0);
  EXPECT_EQ(stream.position(), 1u);
}

TEST(FileStream, SizeIsTheSizeAtOpenEvenAfterWrites) {
  TempDir dir;
  dir.write("out.bin", "old contents");
  {
    FileStream stream(dir.file("out.bin").c_str(), kGenericWrite, kShareNone, kCreateAlways, kAttrNormal);
    ASSERT_EQ(stream.isOpen(), 1);
    EXPECT_EQ(stream.size(), 0u);  // replaced: empty at open
    uint32_t put = 0;
    EXPECT_EQ(stream.write("hello world", 11, &put), 0);
    EXPECT_EQ(put, 11u);
    EXPECT_EQ(stream.position(), 11u);
    EXPECT_EQ(stream.size(), 0u);

    EXPECT_EQ(stream.seek(5, kSeekStart), 5u);
    EXPECT_EQ(stream.truncate(), 0);
  }
  EXPECT_EQ(dir.read("out.bin"), "hello");

  FileStream reopened(dir.file("out.bin").c_str(), kGenericRead, kShareRead, kOpenExisting, kAttrNormal);
  EXPECT_EQ(reopened.size(), 5u);
  EXPECT_EQ(std::string(reopened.info().name), "out.bin");
}

TEST(FileStream, AWriteThatCannotBeCompletedFails) {
  FileStream full("/dev/full", kGenericWrite, kShareNone, kOpenExisting, 0);
  ASSERT_EQ(full.isOpen(), 1);
  uint32_t put = 7;
  EXPECT_EQ(full.write("abc", 3, &put), 1);
  EXPECT_EQ(put, 0u);
  EXPECT_EQ(full.position(), 0u);

  FileStream reader("/dev/null", kGenericRead, kShareRead, kOpenExisting, 0);
  ASSERT_EQ(reader.isOpen(), 1);
  EXPECT_EQ(reader.write("abc", 3, &put), 1);  // opened for reading only
}

struct FailedOpen {
  const char* what;
  std::string name;  // relative to the test directory
  uint32_t access;
  uint32_t creation;
  int error;
};

TEST(FileStream, AFailedOpenAnswersNotOpenAndTellsWhyLikeWindows) {
  TempDir dir;
  dir.write("present.txt", "x");
  dir.write("locked.txt", "x");
  chmod(dir.file("locked.txt").c_str(), 0444);
  mkdir(dir.file("folder").c_str(), 0755);

  const FailedOpen cases[] = {
      {"missing file", "absent.txt", kGenericRead, kOpenExisting, kErrorFileNotFound},
      {"missing directory", "nowhere/absent.txt", kGenericRead, kOpenExisting, kErrorPathNotFound},
      {"file in a missing directory", "nowhere/new.txt", kGenericWrite, kCreateAlways, kErrorPathNotFound},
      {"directory opened as a file", "folder", kGenericRead, kOpenExisting, kErrorAccessDenied},
      {"read-only file for writing", "locked.txt", kGenericWrite, kOpenExisting, kErrorAccessDenied},
      {"read-only file replaced", "locked.txt", kGenericWrite, kCreateAlways, kErrorAccessDenied},
      {"wildcard in the name", "pre*.txt", kGenericRead, kOpenExisting, 123},
  };
  for (const FailedOpen& c : cases) {
    SCOPED_TRACE(c.what);
    FileStream* stream =
        new FileStream(dir.file(c.name).c_str(), c.access, kShareNone, c.creation, kAttrNormal);
    EXPECT_EQ(stream->isOpen(), 0);
    EXPECT_EQ(stream->handle(), kInvalidHandle);
    EXPECT_EQ(lastError(), c.error);
    delete stream;  // closes nothing
  }
  EXPECT_EQ(dir.read("locked.txt"), "x");
}

TEST(FileStream, ANewFileCreatedReadOnlyIsStillWritableThroughItsStream) {
  TempDir dir;
  {
    FileStream stream(dir.file("ro.txt").c_str(), kGenericWrite, kShareNone, kCreateAlways, kAttrReadOnly);
    ASSERT_EQ(stream.isOpen(), 1);
    uint32_t put = 0;
    EXPECT_EQ(stream.write("data", 4, &put), 0);
    EXPECT_EQ(stream.info().attributes & kAttrReadOnly, kAttrReadOnly);
  }
  EXPECT_EQ(dir.read("ro.txt"), "data");
  uint32_t attributes = 0;
  ASSERT_EQ(getAttributes(dir.file("ro.txt").c_str(), &attributes), 0);
  EXPECT_EQ(attributes & kAttrReadOnly, kAttrReadOnly);
}

TEST(FileStream, CloseReleasesTheHandleOnce) {
  TempDir dir;
  dir.write("a.txt", "a");
  FileStream stream(dir.file("a.txt").c_str(), kGenericRead, kShareRead, kOpenExisting, kAttrNormal);
  ASSERT_EQ(stream.isOpen(), 1);
  FileHandle handle = stream.handle();
  stream.close();
  EXPECT_EQ(stream.isOpen(), 0);
  EXPECT_EQ(closeFile(handle), 1);  // already gone
  stream.close();                   // and a second close does nothing
}

// --- console break deferral ------------------------------------------------------------------

bool BreakBlocked() {
  sigset_t now;
  pthread_sigmask(SIG_BLOCK, nullptr, &now);
  return sigismember(&now, SIGINT) == 1;
}

TEST(BreakDeferral, BreaksAreHeldBackWhileTheTransferRuns) {
  // The thread's own status, read by the transfer itself, shows the mask in force during it.
  FileHandle handle = createFile("/proc/thread-self/status", kGenericRead, kShareRead, kOpenExisting, 0);
  ASSERT_NE(handle, kInvalidHandle);
  std::string status(16384, '\0');
  uint32_t got = 0;
  ASSERT_EQ(readFile(handle, &status[0], static_cast<uint32_t>(status.size()), &got), 0);
  closeFile(handle);
  status.resize(got);
  const size_t line = status.find("SigBlk:");
  ASSERT_NE(line, std::string::npos);
  const unsigned long long mask = std::stoull(status.substr(line + 7), nullptr, 16);
  EXPECT_NE(mask & (1ULL << (SIGINT - 1)), 0u);
  EXPECT_FALSE(BreakBlocked());  // and the caller's mask is back afterwards
}

std::atomic<int> gBreaks{0};
void CountBreak(int) { gBreaks.fetch_add(1); }

TEST(BreakDeferral, ABreakDuringATransferIsDeliveredOnceTheTransferHasFinished) {
  struct sigaction action {}, saved{};
  action.sa_handler = CountBreak;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGINT, &action, &saved), 0);
  gBreaks = 0;

  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pthread_t reader = pthread_self();
  // The break is sent before the data, so it reaches the reader before its read can finish.
  std::thread breaker([&] {
    pthread_kill(reader, SIGINT);
    ASSERT_EQ(write(pipeEnds[1], "data", 4), 4);
  });
  char buffer[8];
  uint32_t got = 0;
  const int result = readFile(pipeEnds[0], buffer, 4, &got);
  const int breaks = gBreaks.load();
  breaker.join();

  EXPECT_EQ(result, 0);
  EXPECT_EQ(got, 4u);  // not cut short
  EXPECT_EQ(breaks, 1);  // delivered by the time readFile returns
  close(pipeEnds[0]);
  close(pipeEnds[1]);
  sigaction(SIGINT, &saved, nullptr);
}

TEST(BreakDeferral, ACallerThatBlocksBreaksItselfKeepsThemBlocked) {
  sigset_t block, saved, now;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  pthread_sigmask(SIG_BLOCK, &block, &saved);
  uint32_t got = 0;
  char c;
  FileHandle handle = createFile("/dev/zero", kGenericRead, kShareRead, kOpenExisting, 0);
  ASSERT_NE(handle, kInvalidHandle);
  EXPECT_EQ(readFile(handle, &c, 1, &got), 0);
  EXPECT_EQ(closeFile(handle), 0);
  pthread_sigmask(SIG_SETMASK, &saved, &now);
  EXPECT_EQ(sigismember(&now, SIGINT), 1);
}

// With the break taken over, as vespa-console does at start-up, a break ends the process: each
// case runs in a child of its own. In the middle of a transfer the break waits for its end (the
// data written after the break is read all the same); between transfers it ends the process at
// once; where the break is ignored it is not taken over.
TEST(BreakDeferral, ATakenBreakEndsTheProcessOnlyOnceTheTransferHasFinished) {
  enum Case { kDuringARead, kBetweenTransfers, kIgnored };
  for (Case c : {kDuringARead, kBetweenTransfers, kIgnored}) {
    SCOPED_TRACE(c);
    int data[2], ready[2];
    ASSERT_EQ(pipe(data), 0);
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (c == kIgnored) signal(SIGINT, SIG_IGN);
      const bool taken = takeConsoleBreak();
      if (taken != (c != kIgnored)) _exit(10);
      if (c == kIgnored) _exit(0);
      if (write(ready[1], "r", 1) != 1) _exit(11);
      if (c == kBetweenTransfers) {
        sleep(5);
        _exit(12);  // not reached: the break ends the process at once
      }
      char buffer[4];
      uint32_t got = 0;
      readFile(data[0], buffer, 4, &got);  // the break comes while this waits for the data
      _exit(13);                           // not reached: the break held back ends it here
    }
    close(ready[1]);
    int status = 0;
    if (c == kIgnored) {
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    } else {
      char signal;
      ASSERT_EQ(read(ready[0], &signal, 1), 1);
      usleep(200 * 1000);  // time for the child to be inside its read, or its sleep
      kill(child, SIGINT);
      if (c == kDuringARead) {
        usleep(100 * 1000);
        ASSERT_EQ(write(data[1], "data", 4), 4);
      }
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
      int left = -1;
      ASSERT_EQ(ioctl(data[0], FIONREAD, &left), 0);
      EXPECT_EQ(left, 0);  // the read had its data before the break ended the process
    }
    for (int end : {data[0], data[1], ready[0]}) close(end);
  }
}

}  // namespace
