// The deployment record: what the builder writes behind a stub, alone or after the directive
// and run-after records, the stub's reader finds; a copy that fails its check is passed over,
// and an archive built without it reads as one that takes no switches.
#include <gtest/gtest.h>

#include <string>

#include "sfx_builder.h"
#include "shell/deploy_record.h"
#include "shell/deployment.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

BuildRequest Request(const TempDir& dir, size_t stubSize) {
  ZipEntryPlan entry;
  entry.name = "setup.exe";
  entry.data = "MZ programa";
  dir.write("in.zip", BuildZip({entry}));
  std::string stub = "MZ";
  stub.resize(stubSize, 'a');
  dir.write("stub.exe", stub);
  BuildRequest request;
  request.output = dir.file("out.exe");
  request.stub = dir.file("stub.exe");
  request.archive = dir.file("in.zip");
  return request;
}

TEST(DeployRecord, TheStubReadsBackWhatWasWritten) {
  struct Row {
    size_t stubSize;
    bool directives;
    const char* run;
    DeployOptions deploy;
    uint16_t flags;
  };
  const Row rows[] = {
      {1000, false, "", {false, false}, 0},
      {1000, false, "", {true, false}, kDeploySwitches},
      {1001, true, "", {true, false}, kDeploySwitches},
      // Behind a run-after record of an odd length.
      {4093, true, "setup.exe /q", {false, true}, kDeploySwitches | kDeployTemporaryFolder},
      {4093, false, "a.exe", {true, true}, kDeploySwitches | kDeployTemporaryFolder},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(&row - rows));
    TempDir dir;
    BuildRequest request = Request(dir, row.stubSize);
    request.directives.present = row.directives;
    request.runAfter.command = row.run;
    request.deploy = row.deploy;
    BuildResult result;
    std::string error;
    ASSERT_TRUE(BuildSfx(request, &result, &error)) << error;
    EXPECT_EQ(ReadDeployFlags(dir.file("out.exe").c_str()), row.flags);
  }
}

TEST(DeployRecord, ACopyThatFailsItsCheckIsPassedOver) {
  TempDir dir;
  BuildRequest request = Request(dir, 1000);
  request.deploy.switches = true;
  BuildResult result;
  std::string error;
  ASSERT_TRUE(BuildSfx(request, &result, &error)) << error;
  const std::string good = dir.read("out.exe");
  const size_t at = good.find(std::string("VSPDep\x1A\x01", 8));
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(at % 12, 0u);
  struct Change {
    size_t offset;
    char byte;
  };
  // Changed flags, a newer version, a damaged CRC: each fails the record's check.
  const Change changes[] = {{kDeployRecordFlags, 3}, {kDeployRecordVersion, 2}, {kDeployRecordCrc, 0}};
  for (const Change& change : changes) {
    std::string bad = good;
    bad[at + change.offset] = change.byte;
    dir.write("bad.exe", bad);
    EXPECT_EQ(ReadDeployFlags(dir.file("bad.exe").c_str()), 0) << change.offset;
  }
  // A false copy before the true one does not hide it.
  std::string decoy = good;
  decoy.replace(120, 8, std::string("VSPDep\x1A\x01", 8));
  dir.write("decoy.exe", decoy);
  EXPECT_EQ(ReadDeployFlags(dir.file("decoy.exe").c_str()), kDeploySwitches);
}

}  // namespace
