// The mark of where an archive came from (its Zone.Identifier stream) is carried to every file
// extracted from it, through the file layer's named streams (user attributes on Linux); never
// to directories, and nothing is marked when the archive has no mark.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/fs.h"
#include "fs/text.h"
#include "run_fixture.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

const char kMark[] = "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://exemplo.com.br/setup.exe\r\n";

std::string Archive() {
  ZipEntryPlan text;
  text.name = "leia-me.txt";
  text.data = "Bem-vindo!\r\n";
  ZipEntryPlan folder;
  folder.name = "bin/";
  folder.externalAttributes = 0x10;
  ZipEntryPlan program;
  program.name = "bin/setup.exe";
  program.data = std::string(3000, 'M');
  program.method = 8;
  return BuildZip({text, folder, program});
}

// The named stream of path, or "(none)".
std::string MarkOf(const std::string& path) {
  Text mark;
  if (readNamedStream(path.c_str(), kZoneIdentifierStream, &mark) != 0) return "(none)";
  return std::string(mark.c_str(), mark.size());
}

TEST(ZoneMark, EveryExtractedFileCarriesTheArchivesMark) {
  for (bool marked : {true, false}) {
    SCOPED_TRACE(marked ? "marked archive" : "archive without a mark");
    TempDir dir;
    dir.write("setup.exe", Archive());
    const std::string archive = dir.file("setup.exe");
    if (marked && writeNamedStream(archive.c_str(), kZoneIdentifierStream, Text(kMark)) != 0) {
      GTEST_SKIP() << "this file system keeps no user attributes";
    }
    ASSERT_EQ(makeDirectory(dir.file("out").c_str(), nullptr), 0);
    TestSession test;
    ASSERT_TRUE(test.session.open(archive.c_str()).ok());
    Status status;
    EXPECT_EQ(RunAgain(test, {"-EXTRACT", "-DIRECTORIES", dir.file("out") + "/"}, &status), 3);
    EXPECT_TRUE(status.ok());
    const std::string expected = marked ? kMark : "(none)";
    EXPECT_EQ(MarkOf(dir.file("out/leia-me.txt")), expected);
    EXPECT_EQ(MarkOf(dir.file("out/bin/setup.exe")), expected);
    EXPECT_EQ(dir.read("out/bin/setup.exe"), std::string(3000, 'M'));
    EXPECT_EQ(MarkOf(dir.file("out/bin")), "(none)");
  }
}

TEST(ZoneMark, WhatTheFileLayerKeeps) {
  TempDir dir;
  dir.write("a.txt", "a");
  EXPECT_EQ(MarkOf(dir.file("a.txt")), "(none)");
  EXPECT_EQ(MarkOf(dir.file("missing.txt")), "(none)");
  EXPECT_NE(writeNamedStream(dir.file("missing.txt").c_str(), kZoneIdentifierStream, Text(kMark)), 0);
  if (writeNamedStream(dir.file("a.txt").c_str(), kZoneIdentifierStream, Text(kMark)) != 0) {
    GTEST_SKIP() << "this file system keeps no user attributes";
  }
  EXPECT_EQ(MarkOf(dir.file("a.txt")), kMark);
  EXPECT_EQ(dir.read("a.txt"), "a");  // the file's own bytes are untouched
}

}  // namespace
