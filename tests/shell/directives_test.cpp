// The directive record as the stub finds, descrambles and checks it. Records here are built
// from the stored layout by hand and scrambled by the file-offset rule itself, so that the
// reader's constants and its descrambler are checked against the format, not against each
// other.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "recording_front_end.h"
#include "shell/setup_directives.h"
#include "temp_dir.h"

namespace {

void Put16(std::string* s, size_t at, uint16_t v) {
  (*s)[at] = static_cast<char>(v);
  (*s)[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string* s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
}

struct Texts {
  uint16_t flags = 0;
  std::string destination, groups, extensions;
};

// The 2128-byte body, plain.
std::string Body(const Texts& t) {
  std::string b(2128, '\0');
  Put16(&b, 0, 2);
  Put16(&b, 2, t.flags);
  const struct { size_t at; uint32_t length; uint16_t tag; const std::string* text; } fields[] = {
      {4, 263, 1, &t.destination}, {272, 1043, 3, &t.groups}, {1320, 263, 4, &t.extensions},
      {1588, 263, 5, nullptr},     {1856, 263, 2, nullptr}};
  for (const auto& f : fields) {
    Put32(&b, f.at, f.length);
    Put16(&b, f.at + 4, f.tag);
    if (f.text) b.replace(f.at + 6, f.text->size(), *f.text);
  }
  Put32(&b, 2124, 0);
  return b;
}

// A file: filler, then at headerOffset the header and body, each byte of the length word and
// of the body XORed with the low 8 bits of (its file offset - 7).
std::string File(size_t headerOffset, const std::string& body, uint32_t length,
                 uint32_t version = 0x00140014, size_t keep = std::string::npos) {
  std::string file(headerOffset, 'x');
  std::string header(12, '\0');
  Put32(&header, 0, 0x0A094B50);
  Put32(&header, 4, version);
  Put32(&header, 8, length);
  std::string record = header + body;
  for (size_t i = 8; i < record.size(); ++i) {
    record[i] = static_cast<char>(record[i] ^ static_cast<uint8_t>(headerOffset + i - 7));
  }
  file += record;
  file += std::string(40, 'z');  // what follows (the ZIP)
  return file.substr(0, keep);
}

struct Loaded {
  uint16_t flags;
  std::string destination, groups, extensions;
  std::vector<std::string> messages;
};

std::string Or(const char* text) { return text ? text : "(null)"; }

Loaded Load(const std::string& bytes) {
  TempDir dir;
  dir.write("setup.exe", bytes);
  RecordingFrontEnd shown(false);
  SetupDirectives directives;
  // Something else first: a record that is not taken must leave the defaults.
  directives.setFlags(0xFFFF);
  EXPECT_TRUE(ReadSetupDirectives(directives, dir.file("setup.exe").c_str(), shown.reporter()).ok());
  return {directives.flags(), Or(directives.defaultDestination()), Or(directives.programGroupText()),
          Or(directives.extensionText()), shown.messages};
}

const Texts kFull = {0x0519, "C:\\Programas\\Demo", "Demo|[CreateGroup(Demo)]", "^.TXT|%0demo.exe %1"};

TEST(DirectiveRecord, FoundDescrambledAndCheckedWhereTheStubLooks) {
  const std::string invalid = "Opções Inválidas!";
  std::string full = Body(kFull);
  std::string badTag = full;
  Put16(&badTag, 276, 9);
  Texts noExtensions = kFull;
  noExtensions.extensions.clear();
  Texts unterminated = kFull;
  unterminated.destination = std::string(261, 'd');
  Texts listToTheLastByte = kFull;
  listToTheLastByte.extensions = std::string(260, 'e');

  struct Case {
    const char* name;
    std::string file;
    uint16_t flags;
    std::string destination;
    bool refused;
  };
  const Case cases[] = {
      {"no record", std::string(5000, 'x'), 0, "(null)", false},
      {"at offset 24", File(24, full, 2128), 0x0519, kFull.destination, false},
      {"at the last block searched", File(299988, full, 2128), 0x0519, kFull.destination, false},
      {"past the search", File(300000, full, 2128), 0, "(null)", false},
      {"not at a multiple of 12", File(25, full, 2128), 0, "(null)", false},
      {"a newer version", File(24, full, 2128, 0x00150000), 0, "(null)", false},
      {"the low version bits unchecked", File(24, full, 2128, 0x0014FFFF), 0x0519, kFull.destination, false},
      {"a body of 10 bytes", File(12, full.substr(0, 10), 10), 0x0019, "(null)", false},
      // Too long: the directives keep what they held (bar the flags of the empty lists).
      {"longer than a body", File(24, full + "pp", 2130), 0xFAFF, "(null)", true},
      {"a wrong tag", File(24, badTag, 2128), 0, "(null)", true},
      {"a body cut short by the end of the file", File(24, full, 2128, 0x00140014, 1000), 0, "(null)", true},
      {"groups without extensions", File(24, Body(noExtensions), 2128), 0x0119, kFull.destination, false},
      {"a destination without its zero", File(24, Body(unterminated), 2128), 0, "(null)", true},
      {"a list without its block's end", File(24, Body(listToTheLastByte), 2128), 0, "(null)", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Loaded got = Load(c.file);
    EXPECT_EQ(got.flags, c.flags);
    EXPECT_EQ(got.destination, c.destination);
    EXPECT_EQ(got.messages, c.refused ? std::vector<std::string>{invalid} : std::vector<std::string>{});
  }
}

TEST(DirectiveRecord, TextsBecomeNameBlocksAndTheExtensionList) {
  TempDir dir;
  Texts t = kFull;
  t.extensions = "^.TXT|%0v.exe %1|$.ZIP|%0v.exe|^.DOC";  // the last key has no command
  dir.write("setup.exe", File(36, Body(t), 2128));
  RecordingFrontEnd shown(false);
  SetupDirectives d;
  ASSERT_TRUE(ReadSetupDirectives(d, dir.file("setup.exe").c_str(), shown.reporter()).ok());
  SplitAtBars(d);
  EXPECT_STREQ(d.programGroupText(), "Demo");
  EXPECT_STREQ(d.programGroupText() + 5, "[CreateGroup(Demo)]");
  EXPECT_STREQ(d.programGroupText() + 25, "");
  EXPECT_STREQ(ExtensionDisplayList(d), "TXT;ZIP");
  ExtensionPair pair;
  ASSERT_TRUE(ExtensionPairAt(d.extensionText(), 1, &pair));
  EXPECT_STREQ(pair.key, "$.ZIP");
  EXPECT_STREQ(pair.command, "%0v.exe");
  EXPECT_FALSE(ExtensionPairAt(d.extensionText(), 2, &pair));
}

TEST(DirectiveRecord, ValidationChecksTheConstantsOnly) {
  const std::string good = Body(kFull);
  struct Case {
    size_t at;
    bool stillValid;
  };
  // First word, each length and tag, the end word; then flags, pads, the unused texts.
  const Case cases[] = {{0, false},    {4, false},    {8, false},    {272, false}, {276, false},
                        {1320, false}, {1324, false}, {1588, false}, {1592, false}, {1856, false},
                        {1860, false}, {2124, false}, {2127, false}, {2, true},     {3, true},
                        {271, true},   {1319, true},  {1587, true},  {1600, true},  {2000, true},
                        {2123, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at);
    SetupDirectives d;
    std::memcpy(d.body(), good.data(), good.size());
    ASSERT_TRUE(ValidateDirectives(d));
    d.body()[c.at] ^= 0x40;
    EXPECT_EQ(ValidateDirectives(d), c.stillValid);
  }
  SetupDirectives defaults;
  EXPECT_TRUE(ValidateDirectives(defaults));
}

TEST(DirectiveRecord, DescramblingIsItsOwnInverseAndFollowsTheFileOffset) {
  std::mt19937 random(9);
  for (uint32_t headerOffset : {0u, 12u, 163848u, 299988u, 0xFFFFFFF4u}) {
    SCOPED_TRACE(headerOffset);
    uint8_t plain[2128], bytes[2128];
    for (uint8_t& b : plain) b = static_cast<uint8_t>(random());
    std::memcpy(bytes, plain, sizeof bytes);
    DescrambleBytes(bytes, sizeof bytes, headerOffset + 4);
    for (size_t i = 0; i < sizeof bytes; ++i) {
      ASSERT_EQ(bytes[i], plain[i] ^ static_cast<uint8_t>(headerOffset + 12 + i - 7)) << i;
    }
    DescrambleBytes(bytes, sizeof bytes, headerOffset + 4);
    EXPECT_EQ(std::memcmp(bytes, plain, sizeof bytes), 0);
  }
}

TEST(DirectiveRecord, ReplaceAll) {
  const struct { const char* text; const char* by; const char* token; const char* want; } cases[] = {
      {"[AddItem(%0demo.exe)]", "C:\\NEW\\", "%0", "[AddItem(C:\\NEW\\demo.exe)]"},
      {"%0a %0b", "D\\", "%0", "D\\a D\\b"},
      {"[ShowGroup(1)]", "D\\", "%0", "[ShowGroup(1)]"},
      {"v.exe %1", "", "%1", "v.exe "},
      {"%0%0", "%0", "%0", "%0%0"},  // a replacement is never searched again
  };
  for (const auto& c : cases) EXPECT_STREQ(ReplaceAll(c.text, c.by, c.token).c_str(), c.want);
}

}  // namespace
