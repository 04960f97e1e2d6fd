// The archive becoming unreadable during a run (a disk failing, a share going away): the read
// fails, the run ends with archive error 150, the file of the entry being written goes (it
// would look whole), and nothing after that read is tried.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "fs/fs.h"
#include "run_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

// Reads succeed until `budget` bytes have been read; then every read fails, as a failing disk's.
class FailingStream : public FileStream {
 public:
  FailingStream(const char* name, uint32_t budget)
      : FileStream(name, kGenericRead, kShareRead, kOpenExisting, kAttrNormal), budget_(budget) {}
  int read(void* buffer, uint32_t count, uint32_t* bytesRead) override {
    if (count > budget_) {
      if (bytesRead) *bytesRead = 0;
      return 1;
    }
    budget_ -= count;
    return FileStream::read(buffer, count, bytesRead);
  }

 private:
  uint32_t budget_;
};

ZipEntryPlan Stored(const std::string& name, size_t size) {
  ZipEntryPlan e;
  e.name = name;
  e.data = std::string(size, 'v');
  return e;
}

TEST(UnreadableArchive, AReadFailureEndsTheRunWithError150) {
  TempDir dir;
  const std::string archive = dir.file("a.zip");
  const std::string out = dir.file("out");
  ASSERT_EQ(makeDirectory(out.c_str(), nullptr), 0);
  // The failing stream stands in for the session's own; workers read through streams of their
  // own, so the run decodes on the run thread alone here.
  setenv("VESPA_WORKERS", "1", 1);
  for (const char* command : {"-TEST", "-EXTRACT"}) {
    SCOPED_TRACE(command);
    TestSession test;
    ASSERT_TRUE(LoadArchive(test.session, archive,
                            BuildZip({Stored("first", 100), Stored("second", 50000), Stored("third", 10)}))
                    .ok());
    // The first entry reads whole (its header and data); the second fails in its data.
    delete test.session.archive.stream;
    test.session.archive.stream = new FailingStream(archive.c_str(), 30 + 5 + 100 + 30 + 6 + 20000);
    Status status;
    int processed = RunAgain(test, {command, out + "/"}, &status);
    EXPECT_EQ(status.kind(), StatusKind::kArchiveError);
    EXPECT_EQ(status.exitCode(), 299);
    EXPECT_EQ(processed, 1);
    EXPECT_FALSE(std::ifstream(out + "/second").good());
    EXPECT_FALSE(std::ifstream(out + "/third").good());
  }
  unsetenv("VESPA_WORKERS");
}

}  // namespace
