// The sort orders of the entry list and the compression ratio.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "archive_fixture.h"
#include "fs/codepage.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

struct EntryRow {
  const char* name;
  uint32_t dosDateTime;
  uint32_t size;  // uncompressed bytes
  uint32_t compressed;
  uint32_t crc;
};

// Archive order is the natural order; every other key must reorder it.
const EntryRow kEntries[] = {
    {"zeta.TXT", 0x5A000000, 10, 5, 0x30000000},   // ratio 500
    {"Alpha", 0x4A000000, 30, 30, 0x10000000},     // no extension; ratio 0
    {"dir.d/readme", 0x5B000000, 20, 2, 0x20000000},  // '.' only in the directory part; ratio 900
    {"beta.doc", 0x49000000, 0, 0, 0x00000001},    // empty; ratio 0
    {"gamma.", 0x5C000000, 40, 50, 0xF0000000},    // empty extension; grew: ratio 0
    {"ALPHA.txt", 0x4B000000, 50, 40, 0x40000000},  // ratio 200
};

class EntrySort : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<ZipEntryPlan> specs;
    for (const EntryRow& s : kEntries) {
      ZipEntryPlan e;
      e.name = s.name;
      e.data = std::string(s.compressed, 'd');
      e.dosDateTime = s.dosDateTime;
      e.overrideUncompressedSize = true;
      e.uncompressedSize = s.size;
      e.overrideCrc = true;
      e.crc = s.crc;
      specs.push_back(e);
    }
    loaded_ = LoadArchive(dir_.file("s.zip"), BuildZip(specs));
    ASSERT_NE(loaded_, nullptr);
  }

  CentralHeader* entries() { return loaded_->archive().entries(); }
  uint32_t count() { return loaded_->archive().entryCount; }

  std::vector<std::string> SortedBy(int key, bool spanned = false) {
    sortEntries(key, entries(), count(), spanned);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < count(); ++i) {
      names.emplace_back(entries()[i].name, entries()[i].nameLength);
    }
    return names;
  }

  TempDir dir_;
  std::unique_ptr<LoadedArchive> loaded_;
};

TEST_F(EntrySort, EveryKey) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SortedBy(kSortName),
            (V{"Alpha", "ALPHA.txt", "beta.doc", "dir.d/readme", "gamma.", "zeta.TXT"}));
  EXPECT_EQ(SortedBy(kSortDate),
            (V{"beta.doc", "Alpha", "ALPHA.txt", "zeta.TXT", "dir.d/readme", "gamma."}));
  EXPECT_EQ(SortedBy(kSortSize),
            (V{"beta.doc", "zeta.TXT", "dir.d/readme", "Alpha", "gamma.", "ALPHA.txt"}));
  EXPECT_EQ(SortedBy(kSortCrc),
            (V{"beta.doc", "Alpha", "dir.d/readme", "zeta.TXT", "ALPHA.txt", "gamma."}));
  // Names without an extension first (in name order), then the empty extension, then by
  // extension, case folded, ties by name.
  EXPECT_EQ(SortedBy(kSortExtension),
            (V{"Alpha", "dir.d/readme", "gamma.", "beta.doc", "ALPHA.txt", "zeta.TXT"}));
  // Natural order is the order of the data in the file, whatever the list looked like before.
  EXPECT_EQ(SortedBy(kSortNatural),
            (V{"zeta.TXT", "Alpha", "dir.d/readme", "beta.doc", "gamma.", "ALPHA.txt"}));
  EXPECT_EQ(SortedBy(1), SortedBy(kSortNatural));

  // Ratio: grown and empty entries share ratio 0 and come first.
  V byRatio = SortedBy(kSortRatio);
  V zeros(byRatio.begin(), byRatio.begin() + 3);
  std::sort(zeros.begin(), zeros.end());
  EXPECT_EQ(zeros, (V{"Alpha", "beta.doc", "gamma."}));
  EXPECT_EQ(V(byRatio.begin() + 3, byRatio.end()), (V{"ALPHA.txt", "zeta.TXT", "dir.d/readme"}));
}

TEST_F(EntrySort, SpannedNaturalOrderFollowsTheDisksFirst) {
  using V = std::vector<std::string>;
  // The first two entries in the file were written on the second disk.
  for (uint32_t i = 0; i < count(); ++i) {
    std::string name(entries()[i].name, entries()[i].nameLength);
    if (name == "zeta.TXT" || name == "Alpha") entries()[i].diskNumberStart = 1;
  }
  EXPECT_EQ(SortedBy(kSortNatural, true),
            (V{"dir.d/readme", "beta.doc", "gamma.", "ALPHA.txt", "zeta.TXT", "Alpha"}));
  // One file: the disks do not count.
  EXPECT_EQ(SortedBy(kSortNatural, false),
            (V{"zeta.TXT", "Alpha", "dir.d/readme", "beta.doc", "gamma.", "ALPHA.txt"}));
  // Other keys ignore the disks.
  EXPECT_EQ(SortedBy(kSortName, true),
            (V{"Alpha", "ALPHA.txt", "beta.doc", "dir.d/readme", "gamma.", "zeta.TXT"}));
}

// Names are UTF-8 now; names made of 1252 characters must sort exactly as their 1252 bytes did
// (ASCII letters folded, every other byte by its value), and the others after them, folded as
// Windows folds them.
TEST(EntrySortByName, Names1252SortAsTheirBytesDidAndOthersAfter) {
  const std::vector<std::string> names1252 = {
      u8"zebra", u8"Ébano", u8"ábaco", u8"Œuvre", u8"€uro", u8"abc", u8"ABD", u8"ñu",
      u8"Zulu",  u8"çedilha", u8"a b", u8"a~", u8"ÿ", u8"Ÿ", u8"naïve", u8"naive"};
  auto oldOrder = [](const std::string& a, const std::string& b) {
    const std::string x = Utf8ToAnsi(a), y = Utf8ToAnsi(b);
    for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
      auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
      const int cx = fold(static_cast<unsigned char>(x[i])), cy = fold(static_cast<unsigned char>(y[i]));
      if (cx != cy) return cx < cy;
    }
    return x.size() < y.size();
  };
  std::vector<std::string> expected = names1252;
  std::stable_sort(expected.begin(), expected.end(), oldOrder);
  std::vector<std::string> names = names1252;
  for (const char* beyond : {u8"жук", u8"Жаба", u8"ЖАБА2", u8"αβγ", u8"😀", u8"zz"}) names.push_back(beyond);

  std::vector<CentralHeader> entries(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    entries[i].name = &names[i][0];
    entries[i].nameLength = static_cast<uint32_t>(names[i].size());
    entries[i].localHeaderOffset = i;
  }
  sortEntries(kSortName, entries.data(), static_cast<uint32_t>(entries.size()), false);
  std::vector<std::string> sorted;
  for (const CentralHeader& e : entries) sorted.emplace_back(e.name, e.nameLength);

  std::vector<std::string> only1252;
  for (const std::string& s : sorted) {
    if (std::find(names1252.begin(), names1252.end(), s) != names1252.end()) only1252.push_back(s);
  }
  EXPECT_EQ(only1252, expected);
  const std::vector<std::string> tail(sorted.end() - 5, sorted.end());
  EXPECT_EQ(tail, (std::vector<std::string>{u8"αβγ", u8"Жаба", u8"ЖАБА2", u8"жук", u8"😀"}));
}

TEST(CompressionRatio, PerMille) {
  struct Case {
    uint32_t compressed, uncompressed;
    int ratio;
  } cases[] = {
      {0, 0, 0},       {5, 0, 0},         {10, 10, 0},          {11, 10, 0},
      {500, 1000, 500}, {1, 1000, 999},   {0, 1000, 1000},
      // Sizes past 4,294,967 are scaled down before the product with 1000.
      {0x80000000u, 0xFFFFFFFFu, 500}, {4294968u, 4294968u * 4, 750},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compressionRatio(c.compressed, c.uncompressed), c.ratio)
        << c.compressed << "/" << c.uncompressed;
  }
}

// Entries with equal keys come out in the order of the shuffle before the sort, on every
// platform: the sort is stable. Natural order over equal offsets shows the shuffle alone; every
// other key must then give that order, stably sorted by the key. Lengths cross the merge's
// widths, with keys from a few values so that long runs tie, and the entries are moved whole.
TEST(SortEntries, EqualKeysKeepTheShuffledOrder) {
  for (uint32_t count : {2u, 3u, 17u, 1000u, 4099u}) {
    std::vector<std::string> names(count);
    auto fill = [&](std::vector<CentralHeader>& list) {
      list.assign(count, CentralHeader());
      for (uint32_t i = 0; i < count; ++i) {
        names[i] = "n" + std::to_string(i);
        list[i].name = &names[i][0];
        list[i].nameLength = static_cast<uint32_t>(names[i].size());
        list[i].crc32 = (i * 7u) % 5u;
        list[i].uncompressedSize = i;  // identifies the entry after the moves
        list[i].localHeaderOffset = 100;
      }
    };
    std::vector<CentralHeader> shuffled;
    fill(shuffled);
    sortEntries(kSortNatural, shuffled.data(), count, false);
    std::vector<uint64_t> expected;
    for (const CentralHeader& h : shuffled) expected.push_back(h.uncompressedSize);
    std::stable_sort(expected.begin(), expected.end(),
                     [](uint64_t a, uint64_t b) { return (a * 7u) % 5u < (b * 7u) % 5u; });

    std::vector<CentralHeader> sorted;
    fill(sorted);
    sortEntries(kSortCrc, sorted.data(), count, false);
    for (uint32_t i = 0; i < count; ++i) {
      ASSERT_EQ(sorted[i].uncompressedSize, expected[i]) << count << " entries, place " << i;
      ASSERT_EQ(sorted[i].crc32, (expected[i] * 7u) % 5u);
      ASSERT_EQ(std::string(sorted[i].name, sorted[i].nameLength), "n" + std::to_string(expected[i]));
    }
  }
}

TEST(SortEntries, ShortListsAreLeftAlone) {
  sortEntries(kSortName, nullptr, 0, false);
  CentralHeader one[1];
  char name[] = "only";
  one[0].name = name;
  one[0].nameLength = 4;
  one[0].crc32 = 7;
  sortEntries(kSortCrc, one, 1, true);
  EXPECT_EQ(one[0].name, name);
  EXPECT_EQ(one[0].crc32, 7u);
}

}  // namespace
