// The builder's own parts for new archives: the command-line table, exclude patterns, entry
// names, and the engine's check that stops a damaged result from taking the output's name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "command_line.h"
#include "engine_check.h"
#include "entry_name.h"
#include "input_tree.h"
#include "sfx_builder.h"
#include "temp_dir.h"

namespace {

std::vector<BuilderOption> SomeOptions() {
  return {
      {"output", 'o', "OUT", "output",
       [](const std::string& v, BuildRequest& r) {
         r.output = v;
         return std::string();
       }},
      {"exclude", 'x', "PATTERN", "exclude",
       [](const std::string& v, BuildRequest& r) {
         r.excludes.push_back(v);
         return std::string();
       }},
      {"store", 0, nullptr, "store",
       [](const std::string&, BuildRequest& r) {
         r.pack.store = true;
         return std::string();
       }},
  };
}

TEST(CommandLine, FormsOfOptionsAndOperands) {
  struct Case {
    std::vector<std::string> args;
    std::string problem;  // "" for a good line
    std::string output;
    std::vector<std::string> excludes;
    std::vector<std::string> operands;
  };
  const Case cases[] = {
      {{"-o", "a.exe", "dir"}, "", "a.exe", {}, {"dir"}},
      {{"-oa.exe", "--exclude=*.tmp", "-x", "b", "dir"}, "", "a.exe", {"*.tmp", "b"}, {"dir"}},
      {{"--output", "a.exe", "x", "--", "-o", "--store"}, "", "a.exe", {}, {"x", "-o", "--store"}},
      {{"-", "--output=", "y"}, "", "", {}, {"-", "y"}},
      {{"--out", "a"}, "unknown option --out", "", {}, {}},
      {{"-s"}, "unknown option -s", "", {}, {}},
      {{"--store=1"}, "--store takes no value", "", {}, {}},
      {{"dir", "--exclude"}, "--exclude needs a value (PATTERN)", "", {}, {"dir"}},
  };
  for (const Case& c : cases) {
    BuildRequest request;
    ParsedCommandLine parsed;
    EXPECT_EQ(ParseCommandLine(c.args, SomeOptions(), &request, &parsed), c.problem) << c.args[0];
    if (!c.problem.empty()) continue;
    EXPECT_EQ(request.output, c.output);
    EXPECT_EQ(request.excludes, c.excludes);
    EXPECT_EQ(parsed.operands, c.operands);
  }
  BuildRequest request;
  ParsedCommandLine parsed;
  EXPECT_EQ(ParseCommandLine({"--bogus", "--help"}, SomeOptions(), &request, &parsed),
            "unknown option --bogus");
  ParseCommandLine({"x", "--help"}, SomeOptions(), &request, &parsed);
  EXPECT_TRUE(parsed.help);
}

TEST(CommandLine, HelpHasOneAlignedLinePerOption) {
  EXPECT_EQ(OptionHelp(SomeOptions()),
            "  -o, --output OUT       output\n"
            "  -x, --exclude PATTERN  exclude\n"
            "  --store                store\n");
}

TEST(Exclude, Patterns) {
  struct Case {
    const char* pattern;
    const char* name;
    bool excluded;
  };
  const Case cases[] = {
      {"*.tmp", "a.tmp", true},          {"*.tmp", "docs/sub/a.tmp", true},
      {"*.tmp", "a.tmp.txt", false},     {"build", "build", true},
      {"build", "src/build", true},      {"build", "builder", false},
      {"docs/*.bak", "docs/a.bak", true}, {"docs/*.bak", "docs/x/a.bak", false},
      {"docs/*.bak", "x/docs/a.bak", false}, {"/docs", "docs", true},
      {"docs/", "docs", true},           {"?.c", "a.c", true},
      {"?.c", "\xc3\xa9.c", true},       {"?.c", "ab.c", false},
      {"[ab]*", "beta", true},           {"[!ab]*", "beta", false},
      {"[a-c].txt", "c.txt", true},      {"[a-c].txt", "d.txt", false},
      {"*", "anything", true},           {"docs/*", "docs/x/y", false},
      {"[unclosed", "[unclosed", true},  {"", "a", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExcludedBy(c.pattern, c.name), c.excluded) << c.pattern << " on " << c.name;
  }
}

TEST(EntryName, AsciiAsItIsOthersInUtf8AndTheUnstorableRefused) {
  struct Case {
    std::string name;
    bool utf8;
    std::string problem;  // a part of the refusal; "" when stored
  };
  const Case cases[] = {
      {"docs/leia-me.txt", false, ""},
      {"docs/", false, ""},
      {"caf\xc3\xa9.txt", true, ""},               // in code page 1252
      {"\xe6\x97\xa5\xe6\x9c\xac.txt", true, ""},  // outside it
      {"\xf0\x9f\x98\x80", true, ""},              // outside the basic plane
      {"a\\b.txt", false, "'\\'"},
      {"a:b", false, "Windows refuses"},
      {"what?", false, "Windows refuses"},
      {"tab\there", false, "control character (U+0009)"},
      {"c1\xc2\x85", false, "control character (U+0085)"},
      {"bad\xff", false, "not valid UTF-8"},
      {"overlong\xc0\xaf", false, "not valid UTF-8"},
      {"surrogate\xed\xa0\x80", false, "not valid UTF-8"},
      {"cut\xe6\x97", false, "not valid UTF-8"},
      {std::string(70000, 'a'), false, "longer than a ZIP record"},
  };
  for (const Case& c : cases) {
    StoredName stored;
    std::string problem = EncodeEntryName(c.name, &stored);
    if (c.problem.empty()) {
      EXPECT_EQ(problem, "") << c.name;
      EXPECT_EQ(stored.bytes, c.name);
      EXPECT_EQ(stored.utf8, c.utf8) << c.name;
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name.substr(0, 20) << ": " << problem;
    }
  }
}

// A result the engine finds damaged never takes the output's name, and the earlier file of
// that name stays.
TEST(EngineCheck, ADamagedResultIsNotKept) {
  TempDir dir;
  dir.write("stub.exe", "MZ" + std::string(100, 'x'));
  std::filesystem::create_directory(dir.file("src"));
  dir.write("src/a.txt", std::string(5000, 'a'));
  dir.write("src/b.txt", "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb");
  BuildRequest request;
  request.output = dir.file("good.exe");
  request.stub = dir.file("stub.exe");
  request.inputs = {dir.file("src")};
  BuildResult result;
  std::string error;
  ASSERT_TRUE(BuildSfx(request, &result, &error)) << error;
  EXPECT_TRUE(result.checked) << result.check.problems;
  EXPECT_TRUE(result.check.ok);

  // One byte of a.txt's data changed: its CRC no longer matches.
  std::string bytes = dir.read("good.exe");
  size_t data = bytes.find("a.txt") + 5 + 36;
  bytes[data] ^= 0x40;
  dir.write("bad.exe", bytes);
  EngineCheck check;
  ASSERT_EQ(CheckWithEngine(dir.file("bad.exe"), "", &check), "");
  EXPECT_FALSE(check.ok);
  EXPECT_NE(check.problems.find("a.txt"), std::string::npos) << check.problems;

  check = EngineCheck();
  ASSERT_EQ(CheckWithEngine(dir.file("good.exe"), "", &check), "");
  EXPECT_TRUE(check.ok) << check.problems;
}

}  // namespace

namespace {

// Files too large to hold are deflated as they are read and their local header is patched
// afterwards; enciphered, they are read twice (the password check byte needs the CRC first).
// Lowering the threshold takes small files down the same path that 4 GiB files take.
TEST(ArchiveWriter, StreamedFilesTestCleanWithAndWithoutPassword) {
  TempDir dir;
  dir.write("stub.exe", "MZ" + std::string(100, 'x'));
  std::filesystem::create_directory(dir.file("src"));
  std::string mixed;  // past two of the reader's 1 MiB pieces, partly incompressible
  uint32_t x = 12345;
  for (size_t i = 0; i < (5u << 19) + 7; ++i) {
    x = x * 1103515245u + 12345u;
    mixed.push_back(static_cast<char>(i % 3 ? 'a' + i % 7 : x >> 24));
  }
  dir.write("src/mixed.bin", mixed);
  dir.write("src/one.txt", "1");
  dir.write("src/empty.txt", "");
  for (const char* password : {"", "senha"}) {
    BuildRequest request;
    request.output = dir.file(std::string("out") + password + ".exe");
    request.stub = dir.file("stub.exe");
    request.inputs = {dir.file("src")};
    request.pack.streamFrom = 1;
    request.pack.password = password;
    BuildResult result;
    std::string error;
    ASSERT_TRUE(BuildSfx(request, &result, &error)) << password << ": " << error;
    ASSERT_TRUE(result.checked) << password;
    EXPECT_TRUE(result.check.ok) << password << ": " << result.check.problems;
    EXPECT_EQ(result.pack.files, 3u);
    EXPECT_LT(result.pack.bytesPacked, mixed.size());
    EngineCheck wrong;
    ASSERT_EQ(CheckWithEngine(request.output, *password ? "outra" : "", &wrong), "");
    EXPECT_EQ(wrong.ok, !*password) << wrong.problems;
  }
}

// Windows does not start a program file of 4 GiB or more: an archive that would reach that far
// is refused, pointing at what works instead, and leaves nothing.
TEST(ArchiveWriter, RefusesOffsetsPastFourGiB) {
  TempDir dir;
  dir.write("a.txt", std::string(300, 'a'));
  InputItem item;
  item.name = "a.txt";
  item.path = dir.file("a.txt");
  item.size = 300;
  struct Case {
    uint64_t zipOffset;
    const char* problem;
  };
  const Case cases[] = {
      {kMaxOffset + 1, "Windows does not start a program file of 4 GiB or more"},
      {kMaxOffset - 40, "spanned set of smaller disks (--span)"},
  };
  for (const Case& c : cases) {
    OutputFile out;
    std::string error;
    ASSERT_TRUE(out.create(dir.file("out.exe"), &error)) << error;
    PackSummary summary;
    EXPECT_FALSE(WriteArchive({item}, PackOptions(), c.zipOffset, out, nullptr, &summary, &error));
    EXPECT_NE(error.find(c.problem), std::string::npos) << error;
  }
  // Nothing but the input: no output, no temporary file.
  size_t left = 0;
  for (auto& entry : std::filesystem::directory_iterator(dir.path())) left += entry.path() != item.path;
  EXPECT_EQ(left, 0u);
}

}  // namespace
