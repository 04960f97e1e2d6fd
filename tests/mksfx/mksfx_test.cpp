// The builder: stub, padding and a ZIP whose offsets become absolute in the result; and every
// archive it cannot shift refused without leaving a file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "sfx_builder.h"
#include "temp_dir.h"
#include "zip/byte_reader.h"
#include "zip/records.h"
#include "zip_writer.h"

namespace {

// An existing ZIP made self-extracting, tested by the engine afterwards as the builder does.
BuildRequest ZipRequest(const std::string& output, const std::string& stub,
                        const std::string& archive) {
  BuildRequest request;
  request.output = output;
  request.stub = stub;
  request.archive = archive;
  return request;
}

// Starts like a program, and has no zero bytes, so the padding after it shows.
std::string FakeStub(size_t size) {
  std::string stub = "MZ";
  while (stub.size() < size) stub.push_back(static_cast<char>('a' + stub.size() % 26));
  stub.resize(size);
  return stub;
}

std::vector<ZipEntryPlan> SomeEntries() {
  ZipEntryPlan stored;
  stored.name = "leia-me.txt";
  stored.data = "Bem-vindo!\r\n";
  stored.comment = "entry comment";
  stored.centralExtra = Le16(0x5455) + Le16(5) + std::string("\x01\x00\x00\x00\x60", 5);
  ZipEntryPlan deflated;
  deflated.name = "docs/manual.txt";
  for (int i = 0; i < 300; ++i) deflated.data += "linha " + std::to_string(i) + "\n";
  deflated.method = 8;
  ZipEntryPlan directory;
  directory.name = "docs/";
  directory.externalAttributes = 0x10;
  return {stored, directory, deflated};
}

std::vector<std::string> FilesIn(const TempDir& dir) {
  std::vector<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Every offset of the archive at the end of sfx must name its record in sfx itself.
void ExpectAbsoluteOffsets(const std::string& sfx, size_t commentLength, size_t entryCount) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(sfx.data());
  ASSERT_GE(sfx.size(), kEndRecordSize + commentLength);
  const uint8_t* end = bytes + sfx.size() - kEndRecordSize - commentLength;
  ASSERT_EQ(le32(end), kEndRecordSignature);
  ASSERT_EQ(le16(end + kEndTotalEntries), entryCount);
  uint32_t directory = le32(end + kEndDirectoryOffset);
  uint32_t directorySize = le32(end + kEndDirectorySize);
  // Right before the end record, where readers that correct for a prefix expect it.
  ASSERT_EQ(directory + directorySize, end - bytes);
  // The parser takes the headers in place: give it a copy of the directory.
  std::vector<uint8_t> headers(bytes + directory, bytes + directory + directorySize);
  size_t at = 0;
  for (size_t i = 0; i < entryCount; ++i) {
    CentralHeader h;
    uint32_t size = 0;
    ASSERT_TRUE(ParseCentralHeader(headers.data() + at, headers.size() - at, &h, &size))
        << "entry " << i << " runs past the directory";
    ASSERT_EQ(h.signature, kCentralHeaderSignature);
    at += size;
    uint32_t local = h.localHeaderOffset;
    ASSERT_LT(local + kLocalHeaderSize, sfx.size());
    EXPECT_EQ(le32(bytes + local), kLocalHeaderSignature) << "entry " << i;
    ASSERT_EQ(le16(bytes + local + kLocalNameLength), h.nameLength);
    EXPECT_EQ(sfx.compare(local + kLocalHeaderSize, h.nameLength, h.name, h.nameLength), 0)
        << "entry " << i << " points at another entry's local header";
  }
  EXPECT_EQ(at, headers.size()) << "bytes after the last header";
}

// Python's zipfile reads the result as a ZIP and checks every entry's CRC.
int PythonTestZip(const std::string& path) {
  std::string command =
      "python3 -c 'import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not "
      "None)' " + path;
  return std::system(command.c_str());
}

bool Build(const TempDir& dir, const std::string& archive, const std::string& stub,
           std::string* error, BuildResult* result = nullptr) {
  dir.write("in.zip", archive);
  dir.write("stub.exe", stub);
  BuildResult ignored;
  return BuildSfx(ZipRequest(dir.file("out.exe"), dir.file("stub.exe"), dir.file("in.zip")),
                  result ? result : &ignored, error);
}

// --- Shifting ---------------------------------------------------------------------------------

struct ShiftCase {
  const char* what;
  size_t stubSize;
  std::function<std::string(ZipLayout*)> input;  // the archive as given to the builder
  size_t kept;                                    // offset of the archive proper in the input
  size_t dropped;  // bytes left out after the directory or after the archive's end
  size_t entryCount;
};

const std::string kComment = "Comentário do pacote";
const std::string kJunk(777, 'j');

void PrintTo(const ShiftCase& c, std::ostream* os) { *os << c.what; }

class Shift : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(Shift, OffsetsBecomeAbsoluteAfterStubAndPadding) {
  const ShiftCase& c = GetParam();
  TempDir dir;
  ZipLayout layout;
  std::string input = c.input(&layout);
  std::string stub = FakeStub(c.stubSize);
  dir.write("out.exe", "an older build, to be replaced");
  std::string error;
  BuildResult result;
  ASSERT_TRUE(Build(dir, input, stub, &error, &result)) << error;

  std::string sfx = dir.read("out.exe");
  size_t padded = (c.stubSize + 11) / 12 * 12;
  EXPECT_EQ(sfx.substr(0, c.stubSize), stub);
  EXPECT_EQ(sfx.substr(c.stubSize, padded - c.stubSize), std::string(padded - c.stubSize, '\0'));
  EXPECT_EQ(result.layout.zipOffset, padded);
  EXPECT_EQ(sfx.size(), padded + input.size() - c.kept - c.dropped);
  EXPECT_EQ(result.droppedPrefix, c.kept);
  EXPECT_EQ(result.droppedGap + result.droppedTrailer, c.dropped);
  // The archive's comment is the last thing in the file.
  EXPECT_EQ(sfx.substr(sfx.size() - kComment.size()), kComment);
  ExpectAbsoluteOffsets(sfx, kComment.size(), c.entryCount);
  EXPECT_EQ(PythonTestZip(dir.file("out.exe")), 0);
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"in.zip", "out.exe", "stub.exe"}));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Shift,
    ::testing::Values(
        ShiftCase{"plain", 1001,
                  [](ZipLayout* l) { return BuildZip(SomeEntries(), "", kComment, l); }, 0, 0, 3},
        ShiftCase{"stub_length_a_multiple_of_12", 1008,
                  [](ZipLayout* l) { return BuildZip(SomeEntries(), "", kComment, l); }, 0, 0, 3},
        ShiftCase{"one_byte_stub", 1,
                  [](ZipLayout* l) { return BuildZip(SomeEntries(), "", kComment, l); }, 0, 0, 3},
        // A stub put in front of a ZIP without adjusting it: offsets count from the ZIP's start.
        ShiftCase{"prefixed_offsets_relative", 13,
                  [](ZipLayout* l) { return kJunk + BuildZip(SomeEntries(), "", kComment, l); },
                  777, 0, 3},
        // A self-extracting archive made earlier: offsets count from the file's start.
        ShiftCase{"prefixed_offsets_absolute", 23,
                  [](ZipLayout* l) { return BuildZip(SomeEntries(), kJunk, kComment, l); }, 777,
                  0, 3},
        // With absolute offsets, bytes between the directory and the end record can be told
        // from a prefix; they are left out.
        ShiftCase{"bytes_between_directory_and_end_record", 1001,
                  [](ZipLayout* l) {
                    std::string zip = BuildZip(SomeEntries(), kJunk, kComment, l);
                    return zip.insert(l->endOffset, "between");
                  },
                  777, 7, 3},
        // A signature or other data appended to the input is not part of the archive.
        ShiftCase{"trailing_bytes", 1001,
                  [](ZipLayout* l) {
                    return BuildZip(SomeEntries(), "", kComment, l) + std::string(1500, 's');
                  },
                  0, 1500, 3},
        // Cut from a larger file: every offset is 777 too large, as the directory's place shows.
        ShiftCase{"offsets_counted_from_before_the_file", 1001,
                  [](ZipLayout* l) {
                    return BuildZip(SomeEntries(), kJunk, kComment, l).substr(kJunk.size());
                  },
                  0, 0, 3},
        ShiftCase{"no_entries", 1001, [](ZipLayout* l) { return BuildZip({}, "", kComment, l); },
                  0, 0, 0}),
    [](const auto& info) { return std::string(info.param.what); });

// A ZIP64 archive keeps figures in its ZIP64 end record, its locator and the entries' ZIP64
// extra fields: each moves with the shift, wherever the 32-bit field is saturated.
TEST(Shift, Zip64RecordsAndExtraFieldsMoveToo) {
  struct Row {
    const char* what;
    unsigned saturated;  // end record figures given only in the ZIP64 end record
    size_t prefix;       // bytes before the ZIP that its offsets do not count
  } rows[] = {
      {"count", kEndCount, 0},
      {"every figure", kEndCount | kEndSize | kEndOffset, 0},
      {"every figure, prefixed later", kEndCount | kEndSize | kEndOffset, 333},
  };
  for (const Row& row : rows) {
    std::vector<ZipEntryPlan> entries = SomeEntries();
    for (ZipEntryPlan& e : entries) e.zip64Fields = kZip64Offset | kZip64Uncompressed;
    ZipLayout layout;
    const std::string input = std::string(row.prefix, 'p') + BuildZip64(entries, row.saturated, &layout);
    TempDir dir;
    std::string error;
    BuildResult result;
    ASSERT_TRUE(Build(dir, input, FakeStub(1001), &error, &result)) << row.what << ": " << error;
    EXPECT_TRUE(result.checked && result.check.ok) << row.what << ": " << result.check.problems;
    const std::string sfx = dir.read("out.exe");
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(sfx.data());
    const size_t locator = sfx.size() - kEndRecordSize - kZip64LocatorSize;
    ASSERT_EQ(le32(bytes + locator), kZip64LocatorSignature) << row.what;
    const uint64_t record = le64(bytes + locator + kLocatorEndOffset);
    ASSERT_LT(record, locator) << row.what;
    EXPECT_EQ(le32(bytes + record), kZip64EndSignature) << row.what;
    const uint64_t directory = le64(bytes + record + kZip64EndDirectoryOffset);
    EXPECT_EQ(directory + le64(bytes + record + kZip64EndDirectorySize), record) << row.what;
    EXPECT_EQ(le32(bytes + directory), kCentralHeaderSignature) << row.what;
    EXPECT_EQ(PythonTestZip(dir.file("out.exe")), 0) << row.what;
  }
}

TEST(Shift, DirectiveRecordReachLimitsTheStub) {
  // The directive record's header must start at or before 299988: the stub plus its padding.
  struct Row {
    size_t stubSize;
    bool accepted;
  } rows[] = {{299977, true}, {299988, true}, {299989, false}, {400000, false}};
  for (const Row& row : rows) {
    TempDir dir;
    std::string error;
    bool built = Build(dir, BuildZip(SomeEntries()), FakeStub(row.stubSize), &error);
    EXPECT_EQ(built, row.accepted) << row.stubSize << ": " << error;
    EXPECT_EQ(dir.exists("out.exe"), row.accepted) << row.stubSize;
    if (!row.accepted) {
      EXPECT_NE(error.find("stub too large"), std::string::npos) << error;
    }
  }
}

// --- Refusals ---------------------------------------------------------------------------------

// One archive with two entries; the edit is applied to its bytes before the builder sees them.
struct RefusalCase {
  const char* what;
  std::function<std::string()> input;
  const char* message;
};

std::string TwoEntries(ZipLayout* layout, const std::vector<ZipEntryPlan>& extra = {}) {
  auto entries = SomeEntries();
  entries.resize(2);
  entries.insert(entries.end(), extra.begin(), extra.end());
  return BuildZip(entries, "", "", layout);
}

// Edits a field of the end record or of the central header of entry `entry`.
std::string Patched(std::function<void(std::string&, const ZipLayout&)> edit) {
  ZipLayout layout;
  std::string zip = TwoEntries(&layout);
  edit(zip, layout);
  return zip;
}

void Put16(std::string& s, size_t at, uint16_t v) { s.replace(at, 2, Le16(v)); }
void Put32(std::string& s, size_t at, uint32_t v) { s.replace(at, 4, Le32(v)); }
size_t SecondHeader(const std::string& zip, const ZipLayout& l) {
  return l.directoryOffset +
         CentralHeaderSize(reinterpret_cast<const uint8_t*>(zip.data()) + l.directoryOffset);
}

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.what; }

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, NothingIsWritten) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(Build(dir, GetParam().input(), FakeStub(1001), &error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
  EXPECT_NE(error.find(dir.file("in.zip")), std::string::npos) << "names the archive: " << error;
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"in.zip", "stub.exe"}));
}

INSTANTIATE_TEST_SUITE_P(
    Archives, Refusal,
    ::testing::Values(
        RefusalCase{"empty_file", [] { return std::string(); }, "not a ZIP archive"},
        RefusalCase{"text", [] { return std::string(5000, 't'); }, "not a ZIP archive"},
        RefusalCase{"zip64_locator",
                    [] {
                      ZipLayout l;
                      std::string zip = TwoEntries(&l);
                      std::string locator = Le32(0x07064B50) + Le32(0) + Le32(l.endOffset) +
                                            Le32(0) + Le32(1);
                      return zip.insert(l.endOffset, locator);
                    },
                    "no ZIP64 end record where its locator places it"},
        RefusalCase{"zip64_entry_count", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put16(z, l.endOffset + kEndEntriesOnDisk, 0xFFFF);
                      Put16(z, l.endOffset + kEndTotalEntries, 0xFFFF);
                    }); },
                    "figures are saturated and there is no ZIP64 end record"},
        RefusalCase{"zip64_directory_offset", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put32(z, l.endOffset + kEndDirectoryOffset, 0xFFFFFFFF);
                    }); },
                    "figures are saturated and there is no ZIP64 end record"},
        // The size is in the ZIP64 extra field, but the field ends before it.
        RefusalCase{"zip64_extra_field_too_short",
                    [] {
                      ZipEntryPlan big;
                      big.name = "big.bin";
                      big.data = "x";
                      big.overrideUncompressedSize = true;
                      big.uncompressedSize = 0xFFFFFFFF;
                      big.centralExtra = Le16(0x0001) + Le16(4) + Le32(1);
                      return TwoEntries(nullptr, {big});
                    },
                    "'big.bin' has a figure of 0xFFFFFFFF and no ZIP64 extra field"},
        RefusalCase{"zip64_size",
                    [] {
                      ZipEntryPlan big;
                      big.name = "big.bin";
                      big.data = "x";
                      big.overrideUncompressedSize = true;
                      big.uncompressedSize = 0xFFFFFFFF;
                      return TwoEntries(nullptr, {big});
                    },
                    "'big.bin' has a figure of 0xFFFFFFFF and no ZIP64 extra field"},
        RefusalCase{"spanned_end_record", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put16(z, l.endOffset + kEndThisDisk, 2);
                      Put16(z, l.endOffset + kEndDirectoryDisk, 2);
                    }); },
                    "spanned archive (end record on disk 2"},
        RefusalCase{"spanned_entry", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put16(z, SecondHeader(z, l) + kCentralDiskNumberStart, 1);
                    }); },
                    "entry 'docs/' starts on disk 1"},
        RefusalCase{"entry_counts_differ", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put16(z, l.endOffset + kEndEntriesOnDisk, 1);
                    }); },
                    "1 entries on this disk but 2 in all"},
        RefusalCase{"no_directory_at_its_offset", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      z[l.directoryOffset] = 'X';
                    }); },
                    "no central directory where the end record places it"},
        RefusalCase{"second_header_signature_missing", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      z[SecondHeader(z, l)] = 'X';
                    }); },
                    "no central header signature at entry 2 of 2"},
        RefusalCase{"name_runs_past_the_directory", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put16(z, SecondHeader(z, l) + kCentralNameLength, 0xFFFF);
                    }); },
                    "entry 2 of 2 runs past the end of the directory"},
        RefusalCase{"directory_ends_inside_a_header", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      // The directory size leaves out most of the second header.
                      Put32(z, l.endOffset + kEndDirectorySize,
                            static_cast<uint32_t>(SecondHeader(z, l) - l.directoryOffset + 10));
                    }); },
                    "it ends inside entry 2 of 2"},
        RefusalCase{"directory_larger_than_the_file", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put32(z, l.endOffset + kEndDirectorySize, 0x7FFFFFFF);
                    }); },
                    "is more than precedes the end record"},
        RefusalCase{"more_headers_than_counted", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put16(z, l.endOffset + kEndEntriesOnDisk, 1);
                      Put16(z, l.endOffset + kEndTotalEntries, 1);
                    }); },
                    "more central headers than the 1 the end record counts"},
        RefusalCase{"stray_bytes_after_the_headers", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put32(z, l.endOffset + kEndDirectorySize, l.directorySize + 3);
                      z.insert(l.endOffset, "???");
                    }); },
                    "3 stray bytes follow its last entry"},
        RefusalCase{"local_header_not_where_the_directory_says", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put32(z, SecondHeader(z, l) + kCentralLocalHeaderOffset,
                            l.localOffsets[1] + 1);
                    }); },
                    "no local header for entry 'docs/'"},
        RefusalCase{"local_header_inside_the_directory", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put32(z, SecondHeader(z, l) + kCentralLocalHeaderOffset, l.directoryOffset);
                    }); },
                    "no local header for entry 'docs/'"},
        RefusalCase{"comment_runs_past_the_end", [] { return Patched([](std::string& z, const ZipLayout& l) {
                      Put16(z, l.endOffset + kEndCommentLength, 40);
                    }); },
                    "comment (40 bytes) runs past the end of the file"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(Refusal, ExistingOutputIsKept) {
  TempDir dir;
  dir.write("out.exe", "the previous build");
  std::string error;
  EXPECT_FALSE(Build(dir, "not a zip at all, not at all", FakeStub(1001), &error));
  EXPECT_EQ(dir.read("out.exe"), "the previous build");
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"in.zip", "out.exe", "stub.exe"}));
}

TEST(Refusal, MissingOrEmptyFiles) {
  TempDir dir;
  std::string error;
  BuildResult result;
  dir.write("in.zip", BuildZip(SomeEntries()));
  dir.write("empty.exe", "");
  EXPECT_FALSE(BuildSfx(ZipRequest(dir.file("out.exe"), dir.file("none.exe"), dir.file("in.zip")), &result,
                        &error));
  EXPECT_NE(error.find("cannot open " + dir.file("none.exe")), std::string::npos) << error;
  EXPECT_FALSE(BuildSfx(ZipRequest(dir.file("out.exe"), dir.file("empty.exe"), dir.file("in.zip")), &result,
                        &error));
  EXPECT_NE(error.find("the stub is empty"), std::string::npos) << error;
  dir.write("stub.exe", FakeStub(100));
  EXPECT_FALSE(BuildSfx(ZipRequest(dir.file("out.exe"), dir.file("stub.exe"), dir.file("none.zip")), &result,
                        &error));
  EXPECT_NE(error.find("cannot open " + dir.file("none.zip")), std::string::npos) << error;
  EXPECT_FALSE(BuildSfx(ZipRequest(dir.file("out.exe"), dir.file("stub.exe"), dir.path()), &result, &error));
  EXPECT_FALSE(dir.exists("out.exe"));
}

TEST(Refusal, OffsetPastFourGibibytesAfterTheShift) {
  // A sparse file just under 4 GiB: the second entry's local header sits 500 bytes before the
  // limit, so a 1001-byte stub pushes it past. Both entries are kept (the first starts at 0), so
  // nothing before them can be dropped to make room.
  ZipLayout l;
  std::string zip = TwoEntries(&l);
  const uint64_t kSecond = 0x100000000ull - 500;
  const uint32_t moved = static_cast<uint32_t>(kSecond - l.localOffsets[1]);
  Put32(zip, SecondHeader(zip, l) + kCentralLocalHeaderOffset,
        static_cast<uint32_t>(kSecond));
  Put32(zip, l.endOffset + kEndDirectoryOffset, l.directoryOffset + moved);

  TempDir dir;
  {
    std::ofstream out(dir.file("in.zip"), std::ios::binary);
    out.write(zip.data(), l.localOffsets[1]);
    out.seekp(static_cast<std::streamoff>(kSecond));
    out.write(zip.data() + l.localOffsets[1], zip.size() - l.localOffsets[1]);
    ASSERT_TRUE(out.good());
  }
  dir.write("stub.exe", FakeStub(1001));
  std::string error;
  BuildResult result;
  EXPECT_FALSE(BuildSfx(ZipRequest(dir.file("out.exe"), dir.file("stub.exe"), dir.file("in.zip")), &result,
                        &error));
  EXPECT_NE(error.find("entry 'docs/' would start at offset 4294967804, past the 4 GiB"),
            std::string::npos)
      << error;
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"in.zip", "stub.exe"}));

  // The same archive with a 12-byte stub still fits: the check is on the shifted offsets.
  dir.write("stub.exe", FakeStub(12));
  ScannedZip scanned;
  InputFile input;
  ASSERT_TRUE(input.open(dir.file("in.zip"), &error)) << error;
  ASSERT_TRUE(ScanZip(input, &scanned, &error)) << error;
  EXPECT_TRUE(ShiftOffsets(&scanned, 12, &error)) << error;
}

// An installation first (its stubs under share/vespa/ARCH/), then what the build names, then the
// stub a build tree keeps beside the native one.
TEST(DefaultStub, InstalledThenBuildTree) {
  EXPECT_EQ(DefaultStubCandidates("/opt/win32/bin/vespa-sfx.exe", "/src/build/native/bin/vespa-mksfx"),
            (std::vector<std::string>{"/src/build/native/share/vespa/i686/vespa-sfx.exe",
                                      "/opt/win32/bin/vespa-sfx.exe",
                                      "/src/build/win32/bin/vespa-sfx.exe"}));
  EXPECT_EQ(DefaultStubCandidates("", "/usr/local/bin/vespa-mksfx", kArchX86_64),
            (std::vector<std::string>{"/usr/local/share/vespa/x86_64/vespa-sfx.exe",
                                      "/usr/win64/bin/vespa-sfx.exe"}));
  EXPECT_EQ(DefaultStubCandidates(nullptr, "vespa-mksfx"), std::vector<std::string>{});
}

}  // namespace
