// Long names: paths far past the classic 260 characters are written whole, each under its own
// name; a path is never cut to fit anything, for a cut path names some other file, and another
// entry's data would land in it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "run_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

const std::string kCannotCreate = "Não posso criar:  ";

// A path of exactly length characters ending in last: directories of eleven characters, then a
// file name, so that no single component comes near the 255 bytes a Linux file system allows.
std::string LongPath(size_t length, const std::string& directory, char last) {
  std::string path;
  while (length - path.size() > 20) path += directory;
  path += std::string(length - path.size() - 1, 'f');
  path += last;
  return path;
}

std::string Name(size_t length, char last = 'x') { return LongPath(length, "d123456789/", last); }

// Runs in a directory of their own, which is also the current directory.
class LongNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    previous_ = here;
    ASSERT_EQ(chdir(work_.path().c_str()), 0);
    // A destination long enough that a name which fits alone no longer fits behind it.
    longDestination_ = work_.path() + "/" + LongPath(120, "e123456789/", '/');
    std::filesystem::create_directories(longDestination_);
  }
  void TearDown() override { ASSERT_EQ(chdir(previous_.c_str()), 0); }

  // Everything under the working directory, relative to it.
  std::vector<std::string> Tree() const {
    std::vector<std::string> out;
    for (const auto& p : std::filesystem::recursive_directory_iterator(work_.path())) {
      out.push_back(std::filesystem::relative(p.path(), work_.path()).string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  // The tree plus path (relative to the working directory) and the directories on its way.
  std::vector<std::string> TreeWith(const std::string& path) const {
    std::vector<std::string> out = Tree();
    for (size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      out.push_back(path.substr(0, slash));
    }
    out.push_back(path);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  }

  // Empties the working directory but for the long destination.
  void Clear() {
    for (const auto& p : std::filesystem::directory_iterator(work_.path())) {
      std::filesystem::remove_all(p.path());
    }
    std::filesystem::create_directories(longDestination_);
  }

  TempDir archives_;
  TempDir work_;
  std::string previous_;
  std::string longDestination_;  // absolute, ends in '/'
};

ZipEntryPlan Entry(const std::string& name, const std::string& data) {
  ZipEntryPlan e;
  e.name = name;
  e.data = data;
  return e;
}

TEST_F(LongNamesTest, PathsPastTwoHundredAndSixtyCharactersAreWrittenWhole) {
  struct Destination {
    const char* label;
    std::string word;  // empty: the current directory
  };
  const Destination destinations[] = {{"alone", ""},
                                      {"behind a long destination", longDestination_}};
  struct Row {
    size_t pathLength;  // of the entry's file, destination and name together
    bool written;
  };
  // Up to what one Linux system call takes (4,096 bytes); the Windows layer goes to 32,767.
  const Row rows[] = {{259, true}, {260, true}, {261, true}, {305, true}, {1200, true}, {4000, true}};
  // An update compares with a file on disk first: one that cannot be there is no reason to
  // drop the entry without a word.
  const char* const commands[] = {"-EXTRACT", "-EXTRACT=UPDATE"};
  int row = 0;
  for (const char* command : commands) {
    for (const Destination& destination : destinations) {
      for (const Row& r : rows) {
        ++row;
        const std::string name = Name(r.pathLength - destination.word.size());
        const std::string path = destination.word + name;
        ASSERT_EQ(path.size(), r.pathLength);
        SCOPED_TRACE(testing::Message() << command << ", " << destination.label << ", path of "
                                        << r.pathLength << " characters, name of " << name.size());
        // Bytes that a text-mode copy or a stop at a NUL would change.
        const std::string data = "row " + std::to_string(row) + std::string("\0\r\n\xff\x1a", 5) +
                                 std::string(3000 + row, static_cast<char>('a' + row));
        const std::vector<std::string> before = Tree();

        TestSession test;
        std::vector<std::string> words = {command, "-DIRECTORIES"};
        if (!destination.word.empty()) words.push_back(destination.word);
        Status status;
        const int count =
            RunOn(test, archives_.file("long.zip"), BuildZip({Entry(name, data)}), words, &status);
        EXPECT_TRUE(status.ok()) << status.number();

        const std::string relative = std::filesystem::relative(
            std::filesystem::absolute(path), work_.path()).string();
        if (r.written) {
          EXPECT_EQ(count, 1);
          EXPECT_EQ(test.front.sequence(),
                    (std::vector<Progress>{Progress::kAction, Progress::kItem, Progress::kExtracted}));
          EXPECT_FALSE(test.session.reporter.warned());
          EXPECT_EQ(work_.read(relative), data);
          EXPECT_EQ(Tree(), TreeWith(relative));
          Clear();
        } else {
          EXPECT_EQ(count, 0);
          EXPECT_EQ(test.front.sequence(), std::vector<Progress>{Progress::kWarning});
          EXPECT_EQ(test.front.warnings(), std::vector<int>{kWarnCannotCreate});
          EXPECT_EQ(test.front.warningTexts(), std::vector<std::string>{kCannotCreate + path});
          EXPECT_TRUE(test.session.reporter.warned());
          EXPECT_EQ(Tree(), before);
        }

        // Testing reads the entry without a path: every one of them is tested, nothing written.
        TestSession tester;
        const std::vector<std::string> beforeTest = Tree();
        EXPECT_EQ(RunOn(tester, archives_.file("long.zip"), BuildZip({Entry(name, data)}),
                        {"-TEST"}, &status),
                  1);
        EXPECT_TRUE(status.ok());
        EXPECT_TRUE(tester.front.warnings().empty());
        EXPECT_EQ(Tree(), beforeTest);
      }
    }
  }
}

TEST_F(LongNamesTest, NamesAlikeUpToTheOldCutEachGetTheirOwnFile) {
  // Alike in their first 269 characters: cut to a classic path, both would name one file.
  const std::string first = Name(270, 'a');
  const std::string second = Name(270, 'b');
  ASSERT_EQ(first.substr(0, 269), second.substr(0, 269));
  const std::string archive =
      BuildZip({Entry(first, "data of the first"), Entry(second, "data of the second")});

  for (const std::string& destination : {std::string(), longDestination_}) {
    // Where the cut path would be: a file there must keep its data.
    const std::string cut = (destination + first).substr(0, 259);
    ASSERT_NE(cut.back(), '/');
    const std::string cutRelative =
        std::filesystem::relative(std::filesystem::absolute(cut), work_.path()).string();
    for (bool overwriteAll : {true, false}) {
      SCOPED_TRACE(testing::Message() << (destination.empty() ? "alone" : "behind a destination")
                                      << (overwriteAll ? ", -OVERWRITE" : ", asking"));
      std::filesystem::create_directories(std::filesystem::path(cut).parent_path());
      work_.write(cutRelative, "kept");
      TestSession test;
      std::vector<std::string> words = {"-EXTRACT", "-DIRECTORIES"};
      if (overwriteAll) words.push_back("-OVERWRITE");
      if (!destination.empty()) words.push_back(destination);
      Status status;
      EXPECT_EQ(RunOn(test, archives_.file("alike.zip"), archive, words, &status), 2);
      EXPECT_TRUE(status.ok());
      EXPECT_TRUE(test.front.warnings().empty());
      EXPECT_TRUE(test.callbacks.asked.empty());
      auto relative = [&](const std::string& name) {
        return std::filesystem::relative(std::filesystem::absolute(destination + name), work_.path())
            .string();
      };
      EXPECT_EQ(work_.read(relative(first)), "data of the first");
      EXPECT_EQ(work_.read(relative(second)), "data of the second");
      EXPECT_EQ(work_.read(cutRelative), "kept");
      Clear();
    }
  }
}

}  // namespace
