// Runs started with switches: the command line as the stub reads it, the exit codes a
// deployment tool gets, the answers of a run that may ask nothing, and its log lines.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/dialog_run.h"
#include "app/run_log.h"
#include "app/session.h"
#include "app/switches.h"
#include "archive_fixture.h"
#include "recording_front_end.h"
#include "report/messages.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

TEST(ParseSwitches, CommandLinesAsWindowsHandsThemOver) {
  struct Row {
    const char* line;
    bool silent, progress, help;
    const char* destination;
    const char* log;
    const char* unknown;
  };
  const Row rows[] = {
      {"setup.exe", false, false, false, "", "", ""},
      {"\"C:\\Baixados\\meu setup.exe\"   ", false, false, false, "", "", ""},
      {"setup.exe /S", true, false, false, "", "", ""},
      {"setup.exe /s /p", true, true, false, "", "", ""},
      {"setup.exe /?", false, false, true, "", "", ""},
      // An unquoted /D= takes the rest of the line, blanks and all, less the blanks at its end.
      {"setup.exe /S /D=C:\\Program Files\\Minha App  ", true, false, false,
       "C:\\Program Files\\Minha App", "", ""},
      // The whole switch quoted, as Windows quotes an argument with blanks (a backslash before
      // the closing quote doubled).
      {"setup.exe /S \"/D=C:\\Program Files\\App\\\\\"", true, false, false, "C:\\Program Files\\App\\", "",
       ""},
      {"setup.exe /D=\"C:\\a b\"", false, false, false, "C:\\a b", "", ""},
      {"\"setup.exe\" \"/LOG=C:\\log s\\x.log\" /S", true, false, false, "", "C:\\log s\\x.log", ""},
      {"setup.exe /LOG=\"C:\\log s\\x.log\"", false, false, false, "", "C:\\log s\\x.log", ""},
      // Not understood: the first such word is named; /D= is the last switch.
      {"setup.exe /S /X", true, false, false, "", "", "/X"},
      {"setup.exe -S", false, false, false, "", "", "-S"},
      {"setup.exe /LOG=", false, false, false, "", "", "/LOG="},
      {"setup.exe /D=", false, false, false, "", "", "/D="},
      {"setup.exe \"/D=C:\\a\" /S", false, false, false, "C:\\a", "", "/S"},
      {"setup.exe /S \"\"", true, false, false, "", "", "\"\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    Switches s = ParseSwitches(row.line);
    EXPECT_EQ(s.silent, row.silent);
    EXPECT_EQ(s.progress, row.progress);
    EXPECT_EQ(s.help, row.help);
    EXPECT_STREQ(s.destination.c_str(), row.destination);
    EXPECT_STREQ(s.log.c_str(), row.log);
    EXPECT_STREQ(s.unknown.c_str(), row.unknown);
    // The first two rows give the program alone.
    EXPECT_EQ(s.any, &row - rows >= 2);
  }
}

TEST(DeploymentExitCode, TheCodesDeploymentToolsKnow) {
  UnattendedCallbacks none, password, disk;
  password.passwordWanted = true;
  disk.diskWanted = true;
  struct Row {
    Status status;
    bool warned;
    const UnattendedCallbacks* asked;
    int code;
  };
  const Row rows[] = {
      {Status(), false, nullptr, 0},
      {Status(), false, &none, 0},
      // A damaged entry is a warning: the installation is not whole.
      {Status(), true, nullptr, kDeployExitFailed},
      {Status::Exit(kExitCancelled), false, nullptr, kDeployExitCancelled},
      {Status::Fatal(kFatalAborted), false, nullptr, kDeployExitCancelled},
      {Status::Fatal(kFatalDiskFull, "a.bin"), false, nullptr, kDeployExitDiskFull},
      {Status::Fatal(kFatalCannotOpenForWriting, "a.bin"), false, nullptr, kDeployExitFailed},
      {Status::ArchiveError(152), false, nullptr, kDeployExitFailed},
      // A question nobody could answer decides over what the run made of it.
      {Status(), true, &password, kDeployExitPassword},
      {Status::Fatal(kFatalAborted), false, &disk, kDeployExitFailed},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DeploymentExitCode(row.status, row.warned, row.asked), row.code)
        << row.status.exitCode() << " warned " << row.warned;
  }
}

class StringLog : public RunLog {
 public:
  void write(const char* text) override { lines += text; }
  std::string lines;
};

// A run that may ask nothing keeps a file that exists, skips encrypted entries at once instead
// of waiting for a password, and says what it did in the lines vespa-console prints.
TEST(UnattendedRun, LosesNothingAndNeverWaits) {
  TempDir dir;
  std::vector<ZipEntryPlan> entries(3);
  entries[0].name = "leia-me.txt";
  entries[0].data = "novo\n";
  entries[1].name = "segredo.txt";
  entries[1].data = "escondido\n";
  entries[1].password = "senha";
  entries[2].name = "dados.bin";
  entries[2].data = std::string(4000, 'x');
  entries[2].method = 8;
  mkdir(dir.file("out").c_str(), 0755);
  dir.write("out/leia-me.txt", "antigo\n");

  StringLog log;
  UnattendedCallbacks callbacks;
  Session session(log, &callbacks);
  session.reporter.setProgressWindow(&log);
  ASSERT_TRUE(LoadArchive(session, dir.file("a.zip"), BuildZip(entries)).ok());
  RunRequest request;
  request.options = DialogRunOptions(0, false);  // overwrite: ask
  request.destination = (dir.file("out") + "/").c_str();
  Status status = RunCommand(session, request);
  log.endLine();
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(dir.read("out/leia-me.txt"), "antigo\n");
  EXPECT_FALSE(dir.exists("out/segredo.txt"));
  EXPECT_EQ(dir.read("out/dados.bin"), std::string(4000, 'x'));
  EXPECT_TRUE(callbacks.passwordWanted);
  EXPECT_EQ(DeploymentExitCode(status, session.reporter.warned(), &callbacks), kDeployExitPassword);
  const std::string out = dir.file("out") + "/";
  EXPECT_EQ(log.lines, "Pulando: " + out + "leia-me.txt\n"
                       "Aviso: Ignorando arquivo encriptado:  segredo.txt\n"
                       "    Inflating " + out + "dados.bin  OK\n");
}

}  // namespace
