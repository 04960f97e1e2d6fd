// One entry at a time: versions, methods, sizes, CRC, progress, times, attributes, commands.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <memory>

#include "extract/context.h"
#include "run_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

class ExtractEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    out_ = dir_.file("out") + "/";
    mkdir(out_.c_str(), 0755);
  }
  // Runs words over the archive of entries, into out_, in a session of its own (a session holds
  // one archive). A run of these tests ends normally.
  int Run(const std::vector<ZipEntryPlan>& entries, std::vector<std::string> words) {
    test_ = std::make_unique<TestSession>();
    words.push_back(out_);
    Status status;
    int count = RunOn(*test_, dir_.file("a.zip"), BuildZip(entries), words, &status);
    EXPECT_TRUE(status.ok()) << status.number();
    return count;
  }
  std::string Out(const std::string& name) { return dir_.read("out/" + name); }
  bool OutExists(const std::string& name) { return dir_.exists("out/" + name); }
  // Of the last run.
  RecordingFrontEnd& front() { return test_->front; }
  ScriptedCallbacks& callbacks() { return test_->callbacks; }

  TempDir dir_;
  std::string out_;
  std::unique_ptr<TestSession> test_ = std::make_unique<TestSession>();
};

ZipEntryPlan Stored(const std::string& name, const std::string& data) {
  ZipEntryPlan e;
  e.name = name;
  e.data = data;
  return e;
}

ZipEntryPlan Deflated(const std::string& name, const std::string& data) {
  ZipEntryPlan e = Stored(name, data);
  e.method = 8;
  return e;
}

std::string Pattern(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>("vespa\n"[i % 6] + (i / 997) % 3));
  return s;
}

TEST_F(ExtractEntryTest, StoredAndDeflatedEntriesAreWrittenAndCounted) {
  std::string big = Pattern(300000);  // several windows of output
  int count = Run({Stored("s.txt", "stored bytes"), Deflated("d.txt", big), Stored("empty", "")},
                  {"-EXTRACT"});
  EXPECT_EQ(count, 3);
  EXPECT_EQ(Out("s.txt"), "stored bytes");
  EXPECT_EQ(Out("d.txt"), big);
  EXPECT_EQ(Out("empty"), "");
  EXPECT_TRUE(front().warnings().empty());
}

TEST_F(ExtractEntryTest, ProgressNotificationsInOrder) {
  Run({Stored("a", "1")}, {"-TEST"});
  EXPECT_EQ(front().sequence(), (std::vector<Progress>{Progress::kTesting, Progress::kItem, Progress::kTested}));
  Run({Deflated("b", "22")}, {"-EXTRACT"});
  EXPECT_EQ(front().sequence(), (std::vector<Progress>{Progress::kAction, Progress::kItem, Progress::kExtracted}));
  EXPECT_EQ(front().notifications[0].text, "    Inflating");
  EXPECT_EQ(front().notifications[1].text, out_ + "b");
  EXPECT_EQ(front().notifications[2].value, 2u);  // the bytes written, which the dialog sums
}

TEST_F(ExtractEntryTest, TestWritesNothing) {
  int count = Run({Stored("a.txt", "abc")}, {"-TEST"});
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(OutExists("a.txt"));
}

TEST_F(ExtractEntryTest, CrcMismatchWarnsKeepsTheFileAndIsNotCounted) {
  ZipEntryPlan e = Stored("bad.txt", "payload");
  e.overrideCrc = true;
  e.crc = 0x12345678;
  EXPECT_EQ(Run({e}, {"-EXTRACT"}), 0);
  EXPECT_EQ(front().warnings(), std::vector<int>{4});
  EXPECT_EQ(front().warningTexts()[0], "Falha na checagem do arquivo de CRC  bad.txt");
  EXPECT_EQ(Out("bad.txt"), "payload");
}

// The upper byte of versionNeeded names the maker's host system: only the lower byte is a
// version. Every peer reads an entry of version 2.0 made on Unix (0x0314).
TEST_F(ExtractEntryTest, VersionsFromTwentySixAreRefusedWhateverTheHostByte) {
  ZipEntryPlan ok = Stored("v25", "x");
  ok.versionNeeded = 25;
  ZipEntryPlan newer = Stored("v26", "x");
  newer.versionNeeded = 26;
  ZipEntryPlan unixHost = Stored("unix20", "y");
  unixHost.versionNeeded = 0x0314;
  ZipEntryPlan unixNewer = Stored("unix26", "x");
  unixNewer.versionNeeded = 0x031A;
  EXPECT_EQ(Run({ok, newer, unixHost, unixNewer}, {"-EXTRACT"}), 2);
  EXPECT_EQ(front().warnings(), (std::vector<int>{3, 3}));
  EXPECT_EQ(front().warningTexts()[0], "requer versão do TAMBO  2.6 para extrair: v26");
  EXPECT_EQ(front().warningTexts()[1], "requer versão do TAMBO  2.6 para extrair: unix26");
  EXPECT_FALSE(OutExists("v26"));
  EXPECT_EQ(Out("unix20"), "y");
}

TEST_F(ExtractEntryTest, UnknownMethodShowsItsLabelThenWarns) {
  ZipEntryPlan e = Stored("x.bz2", "data");
  e.method = 12;
  Run({e}, {"-EXTRACT"});
  ASSERT_GE(front().notifications.size(), 3u);
  EXPECT_EQ(front().notifications[0].text, "Unknown compression method for file");
  EXPECT_EQ(front().warnings(), std::vector<int>{18});
  EXPECT_EQ(front().warningTexts()[0], "Método de Compressão desconhecido para arquivo:  x.bz2");
  // The output file was created before the method was seen; it stays, empty.
  EXPECT_EQ(Out("x.bz2"), "");
}

TEST_F(ExtractEntryTest, StoredSizeMismatchCopiesTheSmallerAndFailsTheCrc) {
  ZipEntryPlan e = Stored("s", "0123456789");
  e.overrideUncompressedSize = true;
  e.uncompressedSize = 20;
  e.overrideCrc = true;  // the CRC of all 20 bytes the directory announces
  e.crc = ReferenceCrc32("01234567890123456789");
  Run({e}, {"-EXTRACT"});
  EXPECT_EQ(front().warnings(), (std::vector<int>{5, 4}));
  EXPECT_EQ(Out("s"), "0123456789");
}

// A Deflate or Deflate64 entry that decodes to more or fewer bytes than it declares is warned
// about, as a stored one is; output beyond the declared size is neither written nor
// checksummed. The data decodes to 10 bytes.
TEST_F(ExtractEntryTest, DecodedSizeThatDiffersFromTheDeclaredIsWarnedAbout) {
  const std::string data = "0123456789";
  struct Row {
    const char* what;
    uint16_t method;
    uint32_t declared;
    std::string written;  // and checksummed: the CRC the directory gives
    int counted;
  } rows[] = {
      {"declared smaller", 8, 4, "0123", 1},
      {"declared none", 8, 0, "", 1},
      {"declared larger", 8, 20, data, 1},
      {"declared 0xFFFFFFFF without ZIP64", 8, 0xFFFFFFFFu, data, 1},
      {"Deflate64, declared larger", 9, 11, data, 1},
      {"Deflate64, declared smaller", 9, 9, "012345678", 1},
  };
  for (const Row& row : rows) {
    ZipEntryPlan e = Deflated("d", data);
    e.method = row.method;
    e.useCompressed = true;  // small data has the same stream in Deflate and Deflate64
    e.compressed = DeflateRaw(data);
    e.overrideUncompressedSize = true;
    e.uncompressedSize = row.declared;
    e.overrideCrc = true;
    e.crc = ReferenceCrc32(row.written);
    EXPECT_EQ(Run({e}, {"-EXTRACT", "-OVERWRITE=ALL"}), row.counted) << row.what;
    EXPECT_EQ(Out("d"), row.written) << row.what;
    EXPECT_EQ(front().warnings(), std::vector<int>{5}) << row.what;
    if (!front().warnings().empty()) {
      EXPECT_EQ(front().warningTexts()[0], "Tamanho inesperado no arquivo .ZIP  d") << row.what;
    }
  }
  // Declared right: no warning.
  ZipEntryPlan right = Deflated("d", data);
  right.method = 9;
  right.useCompressed = true;
  right.compressed = DeflateRaw(data);
  EXPECT_EQ(Run({right}, {"-EXTRACT", "-OVERWRITE=ALL"}), 1);
  EXPECT_TRUE(front().warnings().empty());
}

TEST_F(ExtractEntryTest, DecoderErrorsAreWarningsWithTheStoredName) {
  ZipEntryPlan e = Stored("t", "whatever");
  e.method = 8;
  e.useCompressed = true;
  e.compressed = "\x07";  // final block of type 3
  Run({e}, {"-TEST"});
  EXPECT_EQ(front().warnings(), std::vector<int>{11});
  EXPECT_EQ(front().warningTexts()[0],
            "Arquivo implodido possui uma tabela literalmente defeituosa t");
}

TEST_F(ExtractEntryTest, DosTimeAndAttributesAreApplied) {
  ZipEntryPlan e = Stored("ro.txt", "r");
  e.dosDateTime = (static_cast<uint32_t>(DosDate(2001, 2, 3)) << 16) | DosTime(4, 5, 6);
  e.externalAttributes = 0x21;  // archive + read-only
  Run({e}, {"-EXTRACT"});
  struct stat st {};
  ASSERT_EQ(stat((out_ + "ro.txt").c_str(), &st), 0);
  std::tm local{};
  time_t mtime = st.st_mtime;
  localtime_r(&mtime, &local);
  EXPECT_EQ(local.tm_year + 1900, 2001);
  EXPECT_EQ(local.tm_mon + 1, 2);
  EXPECT_EQ(local.tm_mday, 3);
  EXPECT_EQ(local.tm_hour, 4);
  EXPECT_EQ(local.tm_min, 5);
  EXPECT_EQ(local.tm_sec, 6);
  // The default mask drops read-only; MASK keeps it.
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
  unlink((out_ + "ro.txt").c_str());
  Run({e}, {"-EXTRACT", "-MASK"});
  ASSERT_EQ(stat((out_ + "ro.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH), 0u);
}

TEST_F(ExtractEntryTest, NtfsTimesWinOnlyAsTheFirstLocalField) {
  // 2020-01-01 00:00:00 UTC as a Windows file time.
  const uint64_t t2020 = 132223104000000000ull;
  std::string ntfs = Le16(0x000A) + Le16(32) + Le32(0) + Le16(1) + Le16(24);
  for (int i = 0; i < 3; ++i) ntfs += Le32(static_cast<uint32_t>(t2020)) + Le32(static_cast<uint32_t>(t2020 >> 32));
  ZipEntryPlan first = Stored("first", "1");
  first.localExtra = ntfs;
  ZipEntryPlan second = Stored("second", "2");
  second.localExtra = Le16(0x5455) + Le16(1) + "\x00" + ntfs;
  second.dosDateTime = (static_cast<uint32_t>(DosDate(1999, 12, 31)) << 16) | DosTime(12, 0, 0);
  Run({first, second}, {"-EXTRACT"});
  struct stat st {};
  ASSERT_EQ(stat((out_ + "first").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1577836800);
  ASSERT_EQ(stat((out_ + "second").c_str(), &st), 0);
  std::tm local{};
  time_t mtime = st.st_mtime;
  localtime_r(&mtime, &local);
  EXPECT_EQ(local.tm_year + 1900, 1999);
}

TEST(ReadNtfsTimes, NeverReadsPastTheField) {
  // Declared sizes that run past the bytes given are not trusted.
  RecordingFrontEnd front;
  std::string truncated = Le16(0x000A) + Le16(32) + Le32(0) + Le16(1) + Le16(24) + "short";
  EXPECT_EQ(ReadNtfsTimes(front.reporter(), reinterpret_cast<const uint8_t*>(truncated.data()),
                          static_cast<uint32_t>(truncated.size())),
            nullptr);
  std::string attributePastField = Le16(0x000A) + Le16(8) + Le32(0) + Le16(1) + Le16(24);
  EXPECT_EQ(ReadNtfsTimes(front.reporter(), reinterpret_cast<const uint8_t*>(attributePastField.data()),
                          static_cast<uint32_t>(attributePastField.size())),
            nullptr);
  EXPECT_EQ(ReadNtfsTimes(front.reporter(), nullptr, 0), nullptr);
  EXPECT_TRUE(front.notifications.empty());
}

TEST_F(ExtractEntryTest, EncryptedEntryWithThePasswordGiven) {
  ZipEntryPlan e = Deflated("secret.txt", Pattern(5000));
  e.password = "12345678";
  EXPECT_EQ(Run({e}, {"-EXTRACT", "-PASSWORD=12345678"}), 1);
  EXPECT_EQ(Out("secret.txt"), Pattern(5000));
  EXPECT_TRUE(callbacks().asked.empty());
}

TEST_F(ExtractEntryTest, PrintAppendsEveryEntryToOneFile) {
  std::string device = dir_.file("printer.txt");
  dir_.write("printer.txt", "head|");
  Run({Stored("a", "first|"), Deflated("b", "second")}, {"-PRINT=" + device});
  EXPECT_EQ(dir_.read("printer.txt"), "head|first|second");
}

std::string gConsoleBytes;
void Collect(const uint8_t* bytes, uint32_t count) {
  gConsoleBytes.append(reinterpret_cast<const char*>(bytes), count);
}

TEST_F(ExtractEntryTest, ConsoleHandsTheBytesToItsSink) {
  gConsoleBytes.clear();
  const std::string archive = BuildZip({Stored("a", "one "), Deflated("b", "two")});
  ASSERT_TRUE(LoadArchive(test_->session, dir_.file("a.zip"), archive).ok());
  RunRequest request;
  ASSERT_TRUE(ParseRequest({"-CONSOLE", out_}, &request).ok());
  request.consoleSink = Collect;
  int processed = 0;
  EXPECT_TRUE(RunCommand(test_->session, request, &processed).ok());
  EXPECT_EQ(processed, 2);
  EXPECT_EQ(gConsoleBytes, "one two");
  EXPECT_FALSE(OutExists("a"));
}

TEST_F(ExtractEntryTest, SortDescendingWalksFromTheEnd) {
  Run({Stored("b", "2"), Stored("a", "1"), Stored("c", "3")}, {"-TEST", "-SORT=-NAME"});
  std::vector<std::string> items;
  for (const auto& n : front().notifications) {
    if (n.kind == Progress::kItem) items.push_back(n.text);
  }
  EXPECT_EQ(items, (std::vector<std::string>{"c", "b", "a"}));
}

TEST_F(ExtractEntryTest, EmptyArchiveRunsNothing) {
  std::string end = Le32(0x06054B50) + std::string(16, '\0') + Le16(0);
  Status status;
  EXPECT_EQ(RunOn(*test_, dir_.file("e.zip"), end, {"-TEST"}, &status), 0);
  EXPECT_TRUE(status.ok());
  EXPECT_TRUE(front().notifications.empty());
}

}  // namespace
