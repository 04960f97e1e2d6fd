// Signing while building: every entry protected, one record that the engine verifies after a
// test and after an extraction, an earlier record replaced; and a name or text that does not fit
// refused before anything is written.
#include <gtest/gtest.h>

#include "fs/codepage.h"
#include <sys/stat.h>

#include <string>
#include <vector>

#include "authenticity/record.h"
#include "authenticity_record.h"
#include "run_fixture.h"
#include "sfx_builder.h"
#include "signer.h"
#include "temp_dir.h"
#include "zip/byte_reader.h"
#include "zip/records.h"
#include "zip_writer.h"

namespace {

const std::string kStub = "MZ" + std::string(998, 's');

// Entries as peers write them: an extra field already there, a directory, an entry made on
// Unix, a deflated one.
std::vector<ZipEntryPlan> PeerEntries() {
  ZipEntryPlan stored;
  stored.name = "leia-me.txt";
  stored.data = "Bem-vindo!\r\n";
  stored.centralExtra = Le16(0x5455) + Le16(5) + std::string("\x01\x00\x00\x00\x60", 5);
  ZipEntryPlan directory;
  directory.name = "docs/";
  directory.externalAttributes = 0x10;
  ZipEntryPlan unix;
  unix.name = "docs/manual.txt";
  for (int i = 0; i < 300; ++i) unix.data += "linha " + std::to_string(i) + "\n";
  unix.method = 8;
  unix.versionMadeBy = 0x031E;
  unix.externalAttributes = 0x81A40000u;
  return {stored, directory, unix};
}

bool Sign(const TempDir& dir, const std::string& archive, const Signature& signature,
          std::string* error) {
  dir.write("in.zip", archive);
  dir.write("stub.exe", kStub);
  BuildRequest request;
  request.output = dir.file("out.exe");
  request.stub = dir.file("stub.exe");
  request.archive = dir.file("in.zip");
  request.signature = signature;
  BuildResult result;
  return BuildSfx(request, &result, error);
}

// The central headers of a built program, parsed from a copy of its directory.
struct Directory {
  explicit Directory(const std::string& sfx) {
    const uint8_t* end = reinterpret_cast<const uint8_t*>(sfx.data()) + sfx.size() - kEndRecordSize;
    bytes.assign(sfx.begin() + le32(end + kEndDirectoryOffset),
                 sfx.begin() + le32(end + kEndDirectoryOffset) + le32(end + kEndDirectorySize));
    size_t at = 0;
    CentralHeader h;
    uint32_t size = 0;
    while (at < bytes.size() && ParseCentralHeader(bytes.data() + at, bytes.size() - at, &h, &size)) {
      headers.push_back(h);
      at += size;
    }
  }
  int records() const {
    int count = 0;
    for (const CentralHeader& h : headers) {
      ByteReader fields(h.extra, h.extraLength);
      while (fields.remaining() >= 4) {
        if (fields.u16() == kAuthenticityRecordId) ++count;
        fields.skip(fields.u16());
      }
    }
    return count;
  }
  std::vector<uint8_t> bytes;
  std::vector<CentralHeader> headers;
};

TEST(Signing, TheStubVerifiesWhatTheBuilderSigned) {
  // The record keeps 1252 texts (the options give them so); the stub shows them in UTF-8.
  const Signature signatures[] = {{"F\xE1" "brica de Software Ltda.", 123456, ""},
                                  {"F\xE1" "brica de Software Ltda.", 0, "Vers\xE3o 2.0\r\nSuporte: 0800"}};
  for (const Signature& signature : signatures) {
    SCOPED_TRACE(signature.text.empty() ? "without additional text" : "with additional text");
    TempDir dir;
    std::string error;
    ASSERT_TRUE(Sign(dir, BuildZip(PeerEntries()), signature, &error)) << error;
    const std::string sfx = dir.read("out.exe");

    Directory directory(sfx);
    ASSERT_EQ(directory.headers.size(), 3u);
    for (const CentralHeader& h : directory.headers) {
      EXPECT_TRUE(h.internalAttributes & kProtectedBit);
      EXPECT_LT(h.versionMadeBy, 256);
    }
    EXPECT_EQ(directory.headers[2].versionMadeBy, 0x1E) << "the writer's ZIP version stays";
    EXPECT_EQ(directory.records(), 1);

    TestSession test;
    Status status;
    RunOn(test, dir.file("signed.exe"), sfx, {"-TEST"}, &status);
    EXPECT_TRUE(status.ok());
    EXPECT_TRUE(test.front.warnings().empty());
    ASSERT_EQ(test.front.authenticity.size(), 1u);
    EXPECT_EQ(test.front.authenticity[0].code, signature.number ? "ACI280" : "AAA000");
    EXPECT_EQ(test.front.authenticity[0].name, AnsiToUtf8(signature.name));
    EXPECT_EQ(test.front.authenticity[0].text, AnsiToUtf8(signature.text));

    const std::string out = dir.file("out");
    mkdir(out.c_str(), 0755);
    RunAgain(test, {"-EXTRACT", "-DIRECTORIES", out + "/"}, &status);
    EXPECT_TRUE(status.ok());
    EXPECT_TRUE(test.front.warnings().empty());
    EXPECT_EQ(test.front.authenticity.size(), 2u);
    EXPECT_TRUE(dir.read("out/docs/manual.txt") == PeerEntries()[2].data);
  }
}

TEST(Signing, SigningAgainReplacesTheRecord) {
  TempDir first;
  std::string error;
  ASSERT_TRUE(Sign(first, BuildZip(PeerEntries()), {"Primeiro", 1, "antigo"}, &error)) << error;
  TempDir second;
  ASSERT_TRUE(Sign(second, first.read("out.exe"), {"Segundo", 2, ""}, &error)) << error;
  const std::string sfx = second.read("out.exe");
  EXPECT_EQ(Directory(sfx).records(), 1);
  TestSession test;
  Status status;
  RunOn(test, second.file("signed.exe"), sfx, {"-TEST"}, &status);
  EXPECT_TRUE(test.front.warnings().empty());
  ASSERT_EQ(test.front.authenticity.size(), 1u);
  EXPECT_EQ(test.front.authenticity[0].name, "Segundo");
  EXPECT_EQ(test.front.authenticity[0].text, "");
}

TEST(Signing, TheLongestNameAndTextThatFit) {
  // An entry without extra fields can carry a record of the largest size.
  ZipEntryPlan bare;
  bare.name = "a.txt";
  bare.data = "a";
  std::string text(kMaxSignatureBytes - 2, 't');
  TempDir dir;
  std::string error;
  ASSERT_TRUE(Sign(dir, BuildZip({bare}), {"N", 5, text}, &error)) << error;
  TestSession test;
  Status status;
  RunOn(test, dir.file("signed.exe"), dir.read("out.exe"), {"-TEST"}, &status);
  EXPECT_TRUE(test.front.warnings().empty());
  ASSERT_EQ(test.front.authenticity.size(), 1u);
  EXPECT_EQ(test.front.authenticity[0].text, text);
}

TEST(Signing, WhatDoesNotFitIsRefusedAndNothingWritten) {
  ZipEntryPlan withExtra = PeerEntries()[0];
  // An extra field with no room left for a record's field header and block.
  ZipEntryPlan full = withExtra;
  full.centralExtra = Le16(0x6666) + Le16(65529) + std::string(65529, 'x');
  struct Case {
    const char* what;
    std::vector<ZipEntryPlan> entries;
    Signature signature;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"an empty name", PeerEntries(), {"", 1, "texto"}, "empty"},
      {"a name and text past any record", PeerEntries(),
       {"N", 1, std::string(kMaxSignatureBytes - 1, 't')}, "at most"},
      {"a name and text that fit no entry beside its extra field", {withExtra, withExtra},
       {"N", 1, std::string(kMaxSignatureBytes - 2, 't')}, "at most"},
      {"an extra field nearly full", {full}, {"N", 1, ""}, "at most 0"},
      {"an archive without entries", {}, {"N", 1, ""}, "no entries"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    dir.write("out.exe", "an older build");
    std::string error;
    EXPECT_FALSE(Sign(dir, BuildZip(c.entries), c.signature, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(dir.read("out.exe"), "an older build");
  }
}

TEST(Signing, CommandLineValues) {
  struct Case {
    const char* number;  // null: not given
    const char* name;
    bool accepted;
    uint32_t value;
    std::string ansiName;
  };
  const Case cases[] = {
      {nullptr, "F\xC3\xA1" "brica", true, 0, "F\xE1" "brica"},
      {"4294967295", "N", true, 0xFFFFFFFFu, "N"},
      {"0xCAFEf00d", "N", true, 0xCAFEF00Du, "N"},
      {"4294967296", "N", false, 0, ""},
      {"0x100000000", "N", false, 0, ""},
      {"12a", "N", false, 0, ""},
      {"-1", "N", false, 0, ""},
      {"", "N", false, 0, ""},
      // No form in code page 1252.
      {nullptr, "\xE5\x90\x8D", false, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.number ? c.number : "(no number)") + " " + c.name);
    Signature signature;
    std::string error;
    std::optional<std::string> number;
    if (c.number) number = c.number;
    bool accepted =
        SignatureFromArguments(c.name, number, std::string("um\ndois\r\ntr\xC3\xAAs\n"), &signature, &error);
    ASSERT_EQ(accepted, c.accepted) << error;
    if (!accepted) continue;
    EXPECT_EQ(signature.number, c.value);
    EXPECT_EQ(signature.name, c.ansiName);
    // Lines end as the stub's text box breaks them.
    EXPECT_EQ(signature.text, "um\r\ndois\r\ntr\xEAs\r\n");
  }
}

}  // namespace
