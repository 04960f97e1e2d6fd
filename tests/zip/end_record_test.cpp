// Finding the end record: the backward search in 1024-byte windows that overlap by 22 bytes.
#include <gtest/gtest.h>

#include "exit_codes.h"

#include "archive_fixture.h"
#include "recording_front_end.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

std::vector<ZipEntrySpec> OneEntry() {
  ZipEntrySpec e;
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
  RecordingFrontEnd front(false);
  std::string comment(GetParam().commentLength, 'c');
  ArchiveState* archive = LoadArchive(dir.file("a.zip"), BuildZip(OneEntry(), "", comment));
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->entryCount, 1u);
  ASSERT_NE(archive->endRecord(), nullptr);
  EXPECT_EQ(archive->endRecord()->commentLength(), comment.size());
  EXPECT_EQ(std::string(archive->endRecord()->comment(), comment.size()), comment);
  EXPECT_TRUE(front.messages.empty());
  DropArchive();
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
  RecordingFrontEnd front(false);
  ArchiveState* archive =
      LoadArchive(dir.file("a.zip"), BuildZip(OneEntry(), "", "before " + fake));
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->entryCount, 0u);
  DropArchive();
}

TEST(EndRecord, ShortFileSearchedFromOffsetZero) {
  // 1500 bytes: the last window is cut to start at offset 0.
  std::string prefix(1400, 'x');
  TempDir dir;
  RecordingFrontEnd front(false);
  ArchiveState* archive = LoadArchive(dir.file("a.zip"), BuildZip(OneEntry(), prefix));
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->entryCount, 1u);
  DropArchive();
}

TEST(EndRecordDeathTest, TooSmallOrMissing) {
  TempDir dir;
  // 21 bytes cannot hold an end record.
  EXPECT_EXIT(LoadArchive(dir.file("small.zip"), std::string(21, 'x')),
              ArchiveErrorExit(151), "muito pequeno");
  // 22 bytes without a signature anywhere.
  EXPECT_EXIT(LoadArchive(dir.file("none.zip"), std::string(22, 'x')),
              ArchiveErrorExit(152), "assinaturas de CE");
  EXPECT_EXIT(LoadArchive(dir.file("long.zip"), std::string(5000, 'x')),
              ArchiveErrorExit(152), "assinaturas de CE");
  // A file that does not exist.
  EXPECT_EXIT(OpenOwnArchive(dir.file("missing.zip").c_str()), ::testing::ExitedWithCode(12),
              "encontrei o arquivo .ZIP");
}

}  // namespace
