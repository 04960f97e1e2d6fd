// Finding the end record: the backward search in 1024-byte windows that overlap by 22 bytes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

std::string MessageOf(const Status& status) {
  char text[600];
  status.messageText(text, sizeof text);
  return text;
}

std::vector<ZipEntryPlan> OneEntry() {
  ZipEntryPlan e;
  e.name = "a.txt";
  e.data = "hello";
  return {e};
}

struct WindowCase {
  const char* what;
  size_t commentLength;  // moves the record back from the end of the file
};

class EndRecordWindows : public ::testing::TestWithParam<WindowCase> {};

TEST_P(EndRecordWindows, RecordIsFound) {
  TempDir dir;
  std::string comment(GetParam().commentLength, 'c');
  Status status;
  auto loaded = LoadArchive(dir.file("a.zip"), BuildZip(OneEntry(), "", comment), &status);
  ASSERT_NE(loaded, nullptr) << MessageOf(status);
  const ArchiveState& archive = loaded->archive();
  EXPECT_EQ(archive.entryCount, 1u);
  ASSERT_NE(archive.endRecord(), nullptr);
  EXPECT_EQ(archive.endRecord()->commentLength, comment.size());
  const auto& stored = archive.endRecord()->comment;
  EXPECT_EQ(std::string(stored.c_str(), stored.size()), comment);
  EXPECT_TRUE(loaded->front.messages.empty());
}

// The first window covers the last 1024 bytes: a record starts at most 1002 bytes before its start.
INSTANTIATE_TEST_SUITE_P(
    Windows, EndRecordWindows,
    ::testing::Values(WindowCase{"last 22 bytes of the file", 0},
                      WindowCase{"at the first window's start", 1002},
                      WindowCase{"straddling the first window's start (the overlap)", 1012},
                      WindowCase{"one byte before the overlap", 1022},
                      WindowCase{"in a third window", 2500},
                      WindowCase{"largest comment", 65535}),
    [](const auto& info) { return "comment" + std::to_string(info.param.commentLength); });

TEST(EndRecord, TheSignatureNearestTheEndWins) {
  // A second, complete end record inside the comment claims no entries: it is the one read.
  std::string fake = Le32(0x06054B50) + Le16(0) + Le16(0) + Le16(0) + Le16(0) + Le32(0) +
                     Le32(0) + Le16(0);
  TempDir dir;
  Status status;
  auto loaded = LoadArchive(dir.file("a.zip"), BuildZip(OneEntry(), "", "before " + fake), &status);
  ASSERT_NE(loaded, nullptr) << MessageOf(status);
  EXPECT_EQ(loaded->archive().entryCount, 0u);
}

TEST(EndRecord, ShortFileSearchedFromOffsetZero) {
  // 1500 bytes: the last window is cut to start at offset 0.
  std::string prefix(1400, 'x');
  TempDir dir;
  Status status;
  auto loaded = LoadArchive(dir.file("a.zip"), BuildZip(OneEntry(), prefix), &status);
  ASSERT_NE(loaded, nullptr) << MessageOf(status);
  EXPECT_EQ(loaded->archive().entryCount, 1u);
}

TEST(EndRecord, TooSmallOrMissing) {
  struct Case {
    const char* what;
    std::string bytes;
    int number;
    const char* message;
  } cases[] = {
      {"21 bytes cannot hold an end record", std::string(21, 'x'), kArchiveTooSmall,
       "muito pequeno"},
      {"22 bytes without a signature", std::string(22, 'x'), kArchiveNoDirectory,
       "assinaturas de CE"},
      {"several windows without a signature", std::string(5000, 'x'), kArchiveNoDirectory,
       "assinaturas de CE"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    LoadedArchive loaded;
    Status status = LoadArchive(loaded.session, dir.file("a.zip"), c.bytes);
    EXPECT_EQ(status.kind(), StatusKind::kArchiveError) << c.what;
    EXPECT_EQ(status.number(), c.number) << c.what;
    EXPECT_EQ(status.exitCode(), c.number + 149) << c.what;
    EXPECT_NE(MessageOf(status).find(c.message), std::string::npos) << c.what;
    EXPECT_EQ(loaded.archive().endRecord(), nullptr) << c.what;
  }
}

TEST(EndRecord, MissingArchiveIsFatal) {
  TempDir dir;
  std::string missing = dir.file("missing.zip");
  ArchiveState archive;
  archive.setArchiveName(missing.c_str());
  EXPECT_FALSE(archive.openArchive());
  const Status& status = archive.status();
  EXPECT_EQ(status.kind(), StatusKind::kFatal);
  EXPECT_EQ(status.number(), kFatalArchiveNotFound);
  EXPECT_EQ(status.exitCode(), 12);
  EXPECT_EQ(MessageOf(status), "Não encontrei o arquivo .ZIP:  " + missing);
  // Nothing more to open, and loading reports the same failure.
  EXPECT_FALSE(archive.openArchive());
  EXPECT_EQ(archive.readDirectory().number(), kFatalArchiveNotFound);

  // A session opening it says the same.
  LoadedArchive loaded;
  Status opened = loaded.session.open(missing.c_str());
  EXPECT_EQ(opened.number(), kFatalArchiveNotFound);
  EXPECT_EQ(MessageOf(opened), MessageOf(status));
}

}  // namespace
