// Output files: unsafe names, overwrite questions and modes, directories, volume labels, the
// print device.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "central_header_builder.h"
#include "extract/context.h"
#include "extract/output.h"
#include "options/run_options.h"
#include "recording_front_end.h"
#include "report/user_callbacks.h"
#include "temp_dir.h"
#include "zip/archive_state.h"

namespace {

// Answers overwrite, directory and new-name questions from scripts; records every question.
class OverwriteScript : public UserCallbacks {
 public:
  std::vector<int> overwriteAnswers;    // 'N' when exhausted
  std::vector<int> directoryAnswers;    // 0 (no decision) when exhausted
  std::vector<std::string> newNames;    // an empty line, or none left: nothing entered
  std::vector<std::string> asked;

  int AskOverwrite(const char* name, const CentralHeader*) override {
    asked.push_back(std::string("overwrite:") + name);
    return Next(&overwriteAnswers, 'N');
  }
  int AskDirectoryConflict(const char* name) override {
    asked.push_back(std::string("directory:") + name);
    return Next(&directoryAnswers, 0);
  }
  int AskNewName(const char* prompt, char* buffer, int size) override {
    asked.push_back("newname");
    EXPECT_STREQ(prompt, "Novo nome de arquivo? ");
    EXPECT_EQ(size, kLongPathSize);
    if (newNames.empty()) return 0;
    std::string line = newNames.front();
    newNames.erase(newNames.begin());
    std::snprintf(buffer, static_cast<size_t>(size), "%s", line.c_str());
    return line.empty() ? 0 : 1;
  }
  int AskLastDisk() override { return kKeyAbort; }
  int AskDisk(int) override { return kKeyAbort; }
  char* GetPassword(char* buffer, int) override { return buffer; }
  int AskYesNo(const char*) override { return 0; }
  int AskPassword(const char*, char*, int) override { return kPasswordSkip; }

 private:
  static int Next(std::vector<int>* answers, int otherwise) {
    if (answers->empty()) return otherwise;
    int answer = answers->front();
    answers->erase(answers->begin());
    return answer;
  }
};

class OpenOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options_.command = kCommandExtract;
    options_.Overwrite = kOverwriteAsk;
    out_ = dir_.path() + "/out/";
    mkdir(out_.c_str(), 0755);
  }

  // The context of one run: made by the first Open after NewRun(), or after out_ changed. The
  // run keeps the overwrite mode that answers set.
  ExtractionContext& Run() {
    if (!context_ || destination_ != out_) {
      context_.reset();
      destination_ = out_;
      context_ = std::make_unique<ExtractionContext>(nullptr, options_, front_.reporter(), &script_,
                                                     destination_.c_str());
    }
    return *context_;
  }
  void NewRun() { context_.reset(); }

  // OpenOutput as ExtractEntry calls it; an opened file gets content and is closed, and, when
  // it replaces an existing file, is put in its place as a sound entry's would be.
  int Open(const CentralHeaderFields& fields, const std::string& content = "new") {
    header_ = std::make_unique<CentralHeaderBytes>(fields);
    ExtractionContext& c = Run();
    EXPECT_TRUE(copyEntryName(c.nameBuffer, kLongPathSize, fields.name.data(),
                              static_cast<uint32_t>(fields.name.size())));
    c.outputName = c.nameBuffer;
    size_t length = std::strlen(c.nameBuffer);
    c.isDirectory = length > 0 && c.nameBuffer[length - 1] == '/';
    c.abortRequested = false;
    const int result = OpenOutput(&c, header_->get()) ? 1 : 0;
    if (result == 1 && c.output) {
      uint32_t written = 0;
      c.output->write(content.data(), static_cast<uint32_t>(content.size()), &written);
      c.destroyOutput();
      if (c.replacement.active()) EXPECT_TRUE(c.replacement.commit());
    }
    return result;
  }
  int Open(const std::string& name, const std::string& content = "new") {
    return Open(EntryNamed(name), content);
  }

  void Directories(int on) { options_.Path = options_.Recurse = on; }

  // Everything under the temporary directory, relative to it.
  std::vector<std::string> Tree() const {
    std::vector<std::string> out;
    for (const auto& p : std::filesystem::recursive_directory_iterator(dir_.path())) {
      out.push_back(std::filesystem::relative(p.path(), dir_.path()).string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  std::vector<std::string> Skipped() const {
    std::vector<std::string> out;
    for (const auto& n : front_.notifications) {
      if (n.kind == Progress::kSkipping) out.push_back(n.text);
    }
    return out;
  }
  bool IsDirectory(const std::string& path) const { return std::filesystem::is_directory(path); }

  TempDir dir_;
  std::string out_;
  RecordingFrontEnd front_;
  OverwriteScript script_;
  RunOptions options_;
  std::unique_ptr<CentralHeaderBytes> header_;
  std::string destination_;
  std::unique_ptr<ExtractionContext> context_;
};

TEST_F(OpenOutputTest, UnsafeNamesAreRefusedAndNothingIsWritten) {
  const char* names[] = {
      "/etc/passwd",   "//server/share/x", "C:evil.txt",        "c:/x.txt",
      "../x.txt",      "..",               "..\\x.txt",         "a/../../x.txt",
      "a\\..\\..\\x.txt", "a/../b.txt",    "a/..",              "sub/.../x.txt",
      ".. /x.txt",     "a/b/../../../x.txt",
  };
  for (int directories : {1, 0}) {
    Directories(directories);
    for (const char* name : names) {
      SCOPED_TRACE(std::string(name) + (directories ? " with" : " without") + " directories");
      front_.notifications.clear();
      EXPECT_EQ(Open(name), 0);
      std::string shown = name;
      std::replace(shown.begin(), shown.end(), '\\', '/');
      EXPECT_EQ(front_.warningTexts(),
                std::vector<std::string>{"caminho ilegal ou na especificação do drive:  " + shown});
      EXPECT_EQ(Tree(), std::vector<std::string>{"out"});
    }
  }
}

TEST_F(OpenOutputTest, NamesWithDotsThatStayInsideAreWritten) {
  Directories(1);
  for (const char* name : {"..a.txt", "a..b", "b..c/d.txt", "./d.txt", "e/.hidden"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Open(name), 1);
    EXPECT_EQ(dir_.read(std::string("out/") + name), "new");
  }
  EXPECT_TRUE(front_.warnings().empty());
}

TEST_F(OpenOutputTest, EveryAnswerToTheOverwriteQuestion) {
  struct Case {
    int answer;
    int result;
    const char* content;
    int modeAfter;
    bool skipping;
    int abort;
  };
  const Case cases[] = {
      {'Y', 1, "new", kOverwriteAsk, false, 0},    {'y', 1, "new", kOverwriteAsk, false, 0},
      {'A', 1, "new", kOverwriteAlways, false, 0}, {'a', 1, "new", kOverwriteAlways, false, 0},
      {'N', 0, "old", kOverwriteAsk, true, 0},     {'n', 0, "old", kOverwriteAsk, true, 0},
      {'V', 0, "old", kOverwriteNever, true, 0},   {'v', 0, "old", kOverwriteNever, true, 0},
      {27, 0, "old", kOverwriteAsk, false, 1},     {'x', 1, "new", kOverwriteAsk, false, 0},
      {0, 1, "new", kOverwriteAsk, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    dir_.write("out/f.txt", "old");
    NewRun();
    front_.notifications.clear();
    script_.asked.clear();
    script_.overwriteAnswers = {c.answer};
    EXPECT_EQ(Open("f.txt"), c.result);
    EXPECT_EQ(script_.asked, std::vector<std::string>{"overwrite:" + out_ + "f.txt"});
    EXPECT_EQ(dir_.read("out/f.txt"), c.content);
    EXPECT_EQ(context_->overwrite, c.modeAfter);
    EXPECT_EQ(options_.Overwrite, kOverwriteAsk);  // the answers hold for this run alone
    EXPECT_EQ(Skipped(), c.skipping ? std::vector<std::string>{out_ + "f.txt"} : std::vector<std::string>{});
    EXPECT_EQ(context_->abortRequested, c.abort);
    EXPECT_TRUE(front_.warnings().empty());
  }
}

TEST_F(OpenOutputTest, NoQuestionWhenTheFileDoesNotExist) {
  EXPECT_EQ(Open("fresh.txt"), 1);
  EXPECT_TRUE(script_.asked.empty());
  EXPECT_EQ(dir_.read("out/fresh.txt"), "new");
}

TEST_F(OpenOutputTest, RenameAsksUntilAFreeNameWithoutWildcardsIsGiven) {
  dir_.write("out/f.txt", "old f");
  dir_.write("out/g.txt", "old g");
  script_.overwriteAnswers = {'R', 'r'};
  // A typed device name is asked again, as a wildcard is: it would not name a file.
  script_.newNames = {"h*.txt", "aux.txt", "g.txt", "h.txt"};
  EXPECT_EQ(Open("f.txt"), 1);
  EXPECT_EQ(script_.asked, (std::vector<std::string>{"overwrite:" + out_ + "f.txt", "newname", "newname", "newname",
                                                     "overwrite:" + out_ + "g.txt", "newname"}));
  EXPECT_EQ(dir_.read("out/f.txt"), "old f");
  EXPECT_EQ(dir_.read("out/g.txt"), "old g");
  EXPECT_EQ(dir_.read("out/h.txt"), "new");
}

TEST_F(OpenOutputTest, RenameToAFullPathIsTakenAsGiven) {
  dir_.write("out/f.txt", "old");
  script_.overwriteAnswers = {'R'};
  script_.newNames = {dir_.file("elsewhere.txt")};
  EXPECT_EQ(Open("f.txt"), 1);
  EXPECT_EQ(dir_.read("elsewhere.txt"), "new");
  EXPECT_EQ(dir_.read("out/f.txt"), "old");
}

TEST_F(OpenOutputTest, RenameWithoutANewNameSkipsTheEntry) {
  dir_.write("out/f.txt", "old");
  script_.overwriteAnswers = {'R'};
  EXPECT_EQ(Open("f.txt"), 0);
  EXPECT_EQ(Skipped(), std::vector<std::string>{out_ + "f.txt"});
  EXPECT_EQ(dir_.read("out/f.txt"), "old");
}

TEST_F(OpenOutputTest, AlwaysAndNeverHoldForLaterEntries) {
  dir_.write("out/a.txt", "old");
  dir_.write("out/b.txt", "old");
  script_.overwriteAnswers = {'A'};
  EXPECT_EQ(Open("a.txt"), 1);
  EXPECT_EQ(Open("b.txt"), 1);
  EXPECT_EQ(script_.asked.size(), 1u);
  EXPECT_EQ(dir_.read("out/b.txt"), "new");

  NewRun();
  script_.asked.clear();
  script_.overwriteAnswers = {'V'};
  EXPECT_EQ(Open("a.txt", "newer"), 0);
  EXPECT_EQ(Open("b.txt", "newer"), 0);
  EXPECT_EQ(script_.asked.size(), 1u);
  EXPECT_EQ(Skipped(), (std::vector<std::string>{out_ + "a.txt", out_ + "b.txt"}));
  EXPECT_EQ(dir_.read("out/b.txt"), "new");
  // Never skips existing files only.
  EXPECT_EQ(Open("c.txt"), 1);
}

TEST_F(OpenOutputTest, ReadOnlyFileThatCannotBeReplacedIsReportedWithItsPath) {
  dir_.write("out/ro.txt", "old");
  chmod(dir_.file("out/ro.txt").c_str(), 0444);
  options_.Overwrite = kOverwriteAlways;
  EXPECT_EQ(Open("ro.txt"), 0);
  EXPECT_EQ(front_.warningTexts(), std::vector<std::string>{"Não posso criar:  " + out_ + "ro.txt"});
  EXPECT_EQ(dir_.read("out/ro.txt"), "old");
  EXPECT_EQ(context_->output, nullptr);
}

TEST_F(OpenOutputTest, DirectoriesRecreatesTheStoredPath) {
  Directories(1);
  EXPECT_EQ(Open("a/b/c.txt"), 1);
  EXPECT_EQ(dir_.read("out/a/b/c.txt"), "new");
  EXPECT_TRUE(front_.warnings().empty());
}

TEST_F(OpenOutputTest, WithoutDirectoriesTheFileLandsInTheDestination) {
  EXPECT_EQ(Open("a/b/c.txt"), 1);
  EXPECT_EQ(dir_.read("out/c.txt"), "new");
  EXPECT_EQ(Tree(), (std::vector<std::string>{"out", "out/c.txt"}));
}

TEST_F(OpenOutputTest, TheDestinationItselfIsNeverCreated) {
  Directories(1);
  out_ = dir_.path() + "/missing/";
  EXPECT_EQ(Open("a/c.txt"), 0);
  EXPECT_EQ(front_.warningTexts(), std::vector<std::string>{"Não posso criar:  " + out_ + "a/c.txt"});
  EXPECT_EQ(Tree(), std::vector<std::string>{"out"});
}

TEST_F(OpenOutputTest, DirectoryEntryThatCannotBeMadeIsReportedNotCounted) {
  Directories(1);
  out_ = dir_.path() + "/missing/";
  EXPECT_EQ(Open("docs/"), 0);
  EXPECT_EQ(front_.warningTexts(),
            std::vector<std::string>{"Não posso criar:  " + out_ + "docs/"});
  EXPECT_EQ(Tree(), std::vector<std::string>{"out"});
}

TEST_F(OpenOutputTest, DirectoryEntriesAreCreatedWithTheirParents) {
  Directories(1);
  EXPECT_EQ(Open("d/e/"), 1);
  EXPECT_TRUE(IsDirectory(out_ + "d/e"));
  EXPECT_EQ(context_->output, nullptr);
  EXPECT_TRUE(front_.warnings().empty());
}

TEST_F(OpenOutputTest, ExistingDirectoryIsNeverCountedWhateverTheAnswer) {
  Directories(1);
  mkdir((out_ + "d").c_str(), 0755);
  struct Case {
    OverwriteMode mode;
    std::vector<int> answers;
    size_t questions;
    int modeAfter;
    int abort;
  };
  const Case cases[] = {
      {kOverwriteAsk, {0}, 1, kOverwriteAsk, 0},      {kOverwriteAsk, {'Y'}, 1, kOverwriteAsk, 0},
      {kOverwriteAsk, {'R'}, 1, kOverwriteAsk, 0},    {kOverwriteAsk, {'N'}, 1, kOverwriteAsk, 0},
      {kOverwriteAsk, {'a'}, 1, kOverwriteAlways, 0}, {kOverwriteAsk, {'V'}, 1, kOverwriteNever, 0},
      {kOverwriteAsk, {27}, 1, kOverwriteAsk, 1},     {kOverwriteNever, {}, 0, kOverwriteNever, 0},
      {kOverwriteAlways, {}, 0, kOverwriteAlways, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << (c.answers.empty() ? -1 : c.answers[0]));
    options_.Overwrite = c.mode;
    NewRun();
    script_.asked.clear();
    script_.directoryAnswers = c.answers;
    EXPECT_EQ(Open("d/"), 0);
    EXPECT_EQ(script_.asked.size(), c.questions);
    if (c.questions) {
      EXPECT_EQ(script_.asked[0], "directory:" + out_ + "d/");
    }
    EXPECT_EQ(context_->overwrite, c.modeAfter);
    EXPECT_EQ(context_->abortRequested, c.abort);
  }
  EXPECT_TRUE(script_.overwriteAnswers.empty());
  EXPECT_TRUE(front_.warnings().empty());
  EXPECT_TRUE(Skipped().empty());
}

TEST_F(OpenOutputTest, VolumeLabels) {
  CentralHeaderFields label = EntryNamed("MY.DISK");
  label.externalAttributes = kAttrVolumeLabel;
  // Without VOLUME: skipped without a word.
  EXPECT_EQ(Open(label), 0);
  EXPECT_TRUE(front_.notifications.empty());
  EXPECT_EQ(Tree(), std::vector<std::string>{"out"});
  // With VOLUME, where labels cannot be set: reported with the label, and the drive when the
  // destination names one (the label's first dot then became a blank).
  options_.volume = 1;
  EXPECT_EQ(Open(label), 0);
  out_ = "Q:/nowhere/";
  EXPECT_EQ(Open(label), 0);
  EXPECT_EQ(front_.warningTexts(),
            (std::vector<std::string>{"Não posso criar:  MY.DISK", "Não posso criar:  Q:MY DISK"}));
  EXPECT_EQ(Tree(), std::vector<std::string>{"out"});
}

TEST_F(OpenOutputTest, TestAndConsoleOpenNothing) {
  for (Command command : {kCommandTest, kCommandConsole}) {
    options_.command = command;
    EXPECT_EQ(Open("t.txt"), 1);
    EXPECT_EQ(context_->output, nullptr);
  }
  EXPECT_EQ(Tree(), std::vector<std::string>{"out"});
}

TEST_F(OpenOutputTest, RenameToANameTooLongForThePathAsksAgain) {
  // Destination and new name together would pass the longest path Windows takes: cut, they
  // would name some other file; the user is asked for another name instead.
  out_ = dir_.path() + "/" + std::string(200, 'd') + "/";
  mkdir(out_.c_str(), 0755);
  dir_.write(std::string(200, 'd') + "/f.txt", "old");
  const std::string tooLong(kLongPathSize - out_.size(), 'n');  // one past the longest path
  script_.overwriteAnswers = {'R'};
  script_.newNames = {tooLong, "h.txt"};
  EXPECT_EQ(Open("f.txt"), 1);
  EXPECT_EQ(script_.asked,
            (std::vector<std::string>{"overwrite:" + out_ + "f.txt", "newname", "newname"}));
  EXPECT_EQ(dir_.read(std::string(200, 'd') + "/h.txt"), "new");
  EXPECT_EQ(dir_.read(std::string(200, 'd') + "/f.txt"), "old");
  EXPECT_EQ(Tree(), (std::vector<std::string>{std::string(200, 'd'),
                                              std::string(200, 'd') + "/f.txt",
                                              std::string(200, 'd') + "/h.txt", "out"}));
  EXPECT_TRUE(front_.warnings().empty());
}

TEST_F(OpenOutputTest, PrintAppendsToTheDevice) {
  std::string device = dir_.file("printer.txt");
  options_.command = kCommandPrint;
  options_.printDevice = device.c_str();
  EXPECT_EQ(Open("a", "first|"), 1);
  EXPECT_EQ(Open("b", "second"), 1);
  EXPECT_EQ(dir_.read("printer.txt"), "first|second");
}

TEST_F(OpenOutputTest, PrintDeviceThatCannotBeOpenedEndsTheRun) {
  std::string device = dir_.file("no/such/printer");
  options_.command = kCommandPrint;
  options_.printDevice = device.c_str();
  EXPECT_EQ(Open("a"), 0);
  const Status& status = context_->status;
  EXPECT_EQ(status.kind(), StatusKind::kFatal);
  EXPECT_EQ(status.number(), kFatalCannotOpenForWriting);
  EXPECT_EQ(status.exitCode(), 16);
  char text[600];
  status.messageText(text, sizeof text);
  EXPECT_EQ(std::string(text),
            "Não posso abrir para acesso de gravação, no arquivo:  " + device);
  EXPECT_EQ(context_->output, nullptr);
  EXPECT_EQ(Tree(), std::vector<std::string>{"out"});
}

}  // namespace
