// Runs on workers report in entry order: an entry decoded on a worker is reported before the
// entries after it, even when those finish first on the run thread, and a question waits until
// everything before it in a run on one thread has been reported.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "run_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

ZipEntryPlan Plan(const std::string& name, size_t size, bool badCrc = false) {
  ZipEntryPlan e;
  e.name = name;
  e.data = std::string(size, 'w');
  e.overrideCrc = badCrc;
  e.crc = 0x12345678u;
  return e;
}

// Notes how many notifications had arrived when the overwrite question came.
class NotingCallbacks : public ScriptedCallbacks {
 public:
  explicit NotingCallbacks(const RecordingFrontEnd& front) : front_(front) {}
  int AskOverwrite(const char* name, const CentralHeader* entry) override {
    askedAfter.push_back(front_.notifications.size());
    return ScriptedCallbacks::AskOverwrite(name, entry);
  }
  std::vector<size_t> askedAfter;

 private:
  const RecordingFrontEnd& front_;
};

struct Outcome {
  std::vector<std::string> lines;  // progress kind and text, in order
  std::vector<std::pair<size_t, uint64_t>> writing;  // after how many lines, bytes so far
  std::vector<size_t> askedAfter;
  int processed = 0;
  int exitCode = 0;
};

Outcome RunWith(const char* workers, const std::string& archive, const std::string& bytes,
                const std::vector<std::string>& words) {
  setenv("VESPA_WORKERS", workers, 1);
  RecordingFrontEnd front;
  NotingCallbacks callbacks(front);
  callbacks.overwriteAnswers = {'Y'};
  Session session(front, &callbacks);
  session.reporter.setProgressWindow(&front);
  Outcome outcome;
  EXPECT_TRUE(LoadArchive(session, archive, bytes).ok());
  RunRequest request;
  Status status = ParseRequest(words, &request);
  if (status.ok()) status = RunCommand(session, request, &outcome.processed);
  unsetenv("VESPA_WORKERS");
  for (const RecordedNotification& n : front.notifications) {
    outcome.lines.push_back(std::to_string(static_cast<int>(n.kind)) + " " + n.text);
  }
  outcome.askedAfter = callbacks.askedAfter;
  outcome.writing = front.writing;
  outcome.exitCode = status.exitCode();
  return outcome;
}

size_t IndexOf(const std::vector<std::string>& lines, const std::string& line) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == line) return i;
  }
  return lines.size();
}

TEST(ParallelRun, AWarningOfALaterEntryWaitsForTheEntriesBeforeIt) {
  TempDir dir;
  // The first entry goes to a worker; the second, small, is decoded on the run thread and
  // fails its CRC while the first is still being read.
  const std::string bytes =
      BuildZip({Plan("a-large", 6 << 20), Plan("b-small", 100, true), Plan("c-small", 10)});
  const Outcome one = RunWith("1", dir.file("a.zip"), bytes, {"-TEST"});
  const Outcome many = RunWith("4", dir.file("a.zip"), bytes, {"-TEST"});
  EXPECT_EQ(many.lines, one.lines);
  EXPECT_EQ(many.processed, 2);
  EXPECT_EQ(many.exitCode, one.exitCode);
  const size_t firstTested = IndexOf(many.lines, std::to_string(static_cast<int>(Progress::kTested)) + " ");
  size_t warning = many.lines.size();
  for (size_t i = 0; i < many.lines.size(); ++i) {
    if (many.lines[i].rfind(std::to_string(static_cast<int>(Progress::kWarning)) + " ", 0) == 0) warning = i;
  }
  ASSERT_LT(warning, many.lines.size());
  EXPECT_LT(firstTested, warning);
  EXPECT_LT(IndexOf(many.lines, std::to_string(static_cast<int>(Progress::kItem)) + " a-large"), firstTested);
}

TEST(ParallelRun, AQuestionComesAfterTheLinesOfTheEntriesBeforeIt) {
  TempDir dir;
  const std::string out = dir.file("out");
  ASSERT_EQ(makeDirectory(out.c_str(), nullptr), 0);
  dir.write("out/b-small", "already there");
  const std::string bytes = BuildZip({Plan("a-large", 6 << 20), Plan("b-small", 100), Plan("c-small", 10)});
  const std::vector<std::string> words = {"-EXTRACT", "-OVERWRITE=PROMPT", out + "/"};
  const Outcome one = RunWith("1", dir.file("a.zip"), bytes, words);
  for (const char* name : {"/a-large", "/c-small"}) deleteFile((out + name).c_str());
  dir.write("out/b-small", "already there");
  const Outcome many = RunWith("4", dir.file("a.zip"), bytes, words);
  EXPECT_EQ(many.lines, one.lines);
  ASSERT_EQ(one.askedAfter.size(), 1u);
  EXPECT_EQ(many.askedAfter, one.askedAfter);
  // Asked once the first entry's "extracted" was reported.
  EXPECT_EQ(IndexOf(many.lines, std::to_string(static_cast<int>(Progress::kExtracted)) + " ") + 1, many.askedAfter[0]);
}

TEST(ParallelRun, ALargeFileShowsHowFarItHasGotWhileItIsWritten) {
  TempDir dir;
  const std::string out = dir.file("out");
  ASSERT_EQ(makeDirectory(out.c_str(), nullptr), 0);
  const std::string bytes = BuildZip({Plan("a-small", 100), Plan("b-large", (3 << 20) + 5)});
  const std::vector<std::string> words = {"-EXTRACT", "-OVERWRITE=ALL", out + "/"};
  const std::string item = std::to_string(static_cast<int>(Progress::kItem)) + " " + out + "/b-large";
  const std::string extracted = std::to_string(static_cast<int>(Progress::kExtracted)) + " ";
  const Outcome one = RunWith("1", dir.file("a.zip"), bytes, words);
  // Once for each mebibyte passed, between the entry's line and its end.
  const size_t begun = IndexOf(one.lines, item) + 1;
  ASSERT_LT(begun, one.lines.size());
  EXPECT_EQ(one.lines[begun], extracted);
  ASSERT_EQ(one.writing.size(), 3u);
  for (size_t i = 0; i < one.writing.size(); ++i) {
    EXPECT_EQ(one.writing[i].first, begun);
    EXPECT_EQ(one.writing[i].second >> 20, i + 1);
  }
  // On workers the run thread says the latest it sees: fewer figures, never other lines.
  const Outcome many = RunWith("4", dir.file("a.zip"), bytes, words);
  EXPECT_EQ(many.lines, one.lines);
  uint64_t last = 0;
  for (const auto& figure : many.writing) {
    EXPECT_EQ(figure.first, begun);
    EXPECT_GT(figure.second, last);
    EXPECT_LE(figure.second, (3u << 20) + 5);
    last = figure.second;
  }
  // A test writes nothing: no figure.
  EXPECT_TRUE(RunWith("1", dir.file("a.zip"), bytes, {"-TEST"}).writing.empty());
}

}  // namespace
