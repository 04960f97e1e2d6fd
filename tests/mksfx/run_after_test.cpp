// The run-after record: what the builder writes behind a stub (with or without a directive
// record before it), the stub's reader finds and checks; what the stub could not run is
// refused. And the manifest level the builder writes over the stub's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "elevation.h"
#include "recording_front_end.h"
#include "run_writer.h"
#include "sfx_builder.h"
#include "shell/run_after.h"
#include "shell/setup_directives.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

const std::string kSignature("VSPRun\x1A\x01", 8);

// A copy of the signature at a multiple of 12 that is no record, as code may hold one.
std::string StubWithDecoy(size_t size) {
  std::string stub = "MZ";
  while (stub.size() < size) stub.push_back(static_cast<char>('a' + stub.size() % 26));
  stub.resize(size);
  stub.replace(120, kSignature.size(), kSignature);
  return stub;
}

RunAfter ReadBack(const std::string& path) {
  RunAfter run;
  ReadRunAfter(path.c_str(), &run);
  return run;
}

BuildRequest Request(const TempDir& dir) {
  ZipEntryPlan entry;
  entry.name = "setup.exe";
  entry.data = "MZ programa";
  dir.write("in.zip", BuildZip({entry}));
  BuildRequest request;
  request.output = dir.file("out.exe");
  request.stub = dir.file("stub.exe");
  request.archive = dir.file("in.zip");
  return request;
}

TEST(RunAfterRecord, TheStubReadsBackWhatWasWritten) {
  struct Row {
    size_t stubSize;
    bool directives;
    const char* command;  // UTF-8
    bool checked;
    const char* stored;   // code page 1252, as the record keeps it; the reader gives UTF-8
  };
  const Row rows[] = {
      {1000, false, "%0setup.exe /s", true, "%0setup.exe /s"},
      {1001, true, "\"%0Instala\xC3\xA7\xC3\xA3o\\setup.exe\" -q \"dois nomes\"", false,
       "\"%0Instala\xE7\xE3o\\setup.exe\" -q \"dois nomes\""},
      {4093, true, "notepad.exe %0LEIA-ME.TXT", true, "notepad.exe %0LEIA-ME.TXT"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command);
    TempDir dir;
    dir.write("stub.exe", StubWithDecoy(row.stubSize));
    BuildRequest request = Request(dir);
    request.runAfter.command = row.command;
    request.runAfter.checked = row.checked;
    if (row.directives) {
      request.directives.present = true;
      request.directives.groups = "Demo|[CreateGroup(Demo)]";
    }
    BuildResult result;
    std::string error;
    ASSERT_TRUE(BuildSfx(request, &result, &error)) << error;
    RunAfter run = ReadBack(dir.file("out.exe"));
    EXPECT_STREQ(run.command.c_str(), row.command);
    EXPECT_NE(dir.read("out.exe").find(row.stored), std::string::npos);
    EXPECT_EQ(run.checked, row.checked);
    // The directive record before it is still read whole.
    RecordingFrontEnd shown(false);
    SetupDirectives d;
    ASSERT_TRUE(ReadSetupDirectives(d, dir.file("out.exe").c_str(), shown.reporter()).ok());
    EXPECT_TRUE(shown.messages.empty());
    SplitAtBars(d);
    EXPECT_EQ(d.programGroupText() != nullptr, row.directives);
  }
}

TEST(RunAfterRecord, ADamagedOrNewerRecordRunsNothing) {
  TempDir dir;
  dir.write("stub.exe", StubWithDecoy(600));
  BuildRequest request = Request(dir);
  request.runAfter.command = "%0setup.exe";
  BuildResult result;
  std::string error;
  ASSERT_TRUE(BuildSfx(request, &result, &error)) << error;
  std::string built = dir.read("out.exe");
  size_t at = built.find(kSignature, 600);
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(at % 12, 0u);
  ASSERT_STREQ(ReadBack(dir.file("out.exe")).command.c_str(), "%0setup.exe");
  struct Change {
    const char* what;
    size_t offset;
    char value;
  };
  const Change changes[] = {
      {"a byte of the command", kRunRecordHeaderSize + 3, 'X'},
      {"the checked flag", kRunRecordFlags, 0x01},
      {"a newer version", kRunRecordVersion, 0x02},
      {"a longer length", kRunRecordCommandLength, 0x0C},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    std::string damaged = built;
    damaged[at + change.offset] = change.value;
    dir.write("damaged.exe", damaged);
    RunAfter run = ReadBack(dir.file("damaged.exe"));
    EXPECT_FALSE(run.present());
    EXPECT_FALSE(run.checked);
  }
  // Without the option there is no record at all.
  BuildRequest plain = Request(dir);
  plain.output = dir.file("plain.exe");
  ASSERT_TRUE(BuildSfx(plain, &result, &error)) << error;
  EXPECT_EQ(dir.read("plain.exe").find(kSignature, 600),
            std::string::npos);
}

TEST(RunAfterRecord, RefusesWhatTheStubCannotRun) {
  const std::pair<const char*, std::string> rows[] = {
      {"names no program", "   "},
      {"names no program", "\"\" -x"},
      {"never closed", "\"%0setup.exe -x"},
      {"outside code page 1252", "%0\xE2\x82\xAC\xE2\x80\x9C\xC4\x80.exe"},
      {"control character", "%0setup.exe\n-x"},
      {"at most 1024", "%0" + std::string(1023, 'a')},
  };
  for (const auto& [reason, command] : rows) {
    SCOPED_TRACE(command);
    std::vector<uint8_t> record;
    std::string error;
    EXPECT_FALSE(MakeRunRecord({command, true}, &record, &error));
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }
}

TEST(Elevation, TheLevelTakesTheBlanksAfterIt) {
  const std::string manifest =
      "<trustInfo><requestedExecutionLevel level=\"asInvoker\"            uiAccess=\"false\"/>";
  for (const char* level : kElevationLevels) {
    SCOPED_TRACE(level);
    std::string stub = "MZ..." + manifest + "...";
    std::vector<uint8_t> bytes(stub.begin(), stub.end());
    std::string error;
    ASSERT_TRUE(SetElevation(&bytes, level, &error)) << error;
    std::string patched(bytes.begin(), bytes.end());
    EXPECT_EQ(patched.size(), stub.size());
    EXPECT_NE(patched.find("<requestedExecutionLevel level=\"" + std::string(level) + "\" "),
              std::string::npos) << patched;
    EXPECT_NE(patched.find(" uiAccess=\"false\"/>..."), std::string::npos) << patched;
  }
  // No room, no manifest of ours, two of them: refused for any level but the default.
  const std::string refused[] = {
      "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
      "no manifest at all",
      manifest + manifest,
  };
  for (const std::string& stub : refused) {
    std::vector<uint8_t> bytes(stub.begin(), stub.end());
    std::string error;
    EXPECT_TRUE(SetElevation(&bytes, "asInvoker", &error));
    EXPECT_FALSE(SetElevation(&bytes, "requireAdministrator", &error)) << stub;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), stub);
  }
}

}  // namespace
