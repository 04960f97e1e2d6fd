// The builder's directive record: what it writes, the stub's reader reads back at the offset it
// was written for; what the stub could not take is refused with nothing written.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "directive_writer.h"
#include "recording_front_end.h"
#include "sfx_builder.h"
#include "shell/setup_directives.h"
#include "temp_dir.h"
#include "zip_writer.h"

namespace {

DirectiveOptions Everything() {
  DirectiveOptions o;
  o.present = true;
  o.destination = "C:\\Programas\\Instala\xC3\xA7\xC3\xA3o";  // UTF-8, as typed on Linux
  o.subdirectories = true;
  o.messages = true;
  o.overwrite = "always";
  o.groups = "Demo|[CreateGroup(Demo)]|[AddItem(%0demo.exe,Demo)]";
  o.extensions = "^.TXT|%0demo.exe %1|$.DMO|%0demo.exe /o %1";
  return o;
}

TEST(DirectiveWriter, TheStubReadsBackWhatWasWritten) {
  for (uint64_t offset : {0ull, 12ull, 163848ull, 299988ull}) {
    SCOPED_TRACE(offset);
    std::vector<uint8_t> record;
    std::string error;
    ASSERT_TRUE(MakeDirectiveRecord(Everything(), offset, &record, &error)) << error;
    TempDir dir;
    std::string file(offset, 'M');
    file.append(record.begin(), record.end());
    dir.write("setup.exe", file + "PK-after");
    RecordingFrontEnd shown(false);
    SetupDirectives d;
    ASSERT_TRUE(ReadSetupDirectives(d, dir.file("setup.exe").c_str(), shown.reporter()).ok());
    EXPECT_TRUE(shown.messages.empty());
    EXPECT_EQ(d.flags(), 0x0515);
    EXPECT_STREQ(d.defaultDestination(), "C:\\Programas\\Instalação");  // code page 1252 here
    SplitAtBars(d);
    EXPECT_STREQ(d.programGroupText(), "Demo");
    EXPECT_STREQ(ExtensionDisplayList(d), "TXT;DMO");
  }
}

TEST(DirectiveWriter, RefusesWhatTheStubCannotTake) {
  struct Case {
    const char* name;
    std::function<void(DirectiveOptions&)> change;
    uint64_t offset;
  };
  const Case cases[] = {
      {"a destination past its field", [](DirectiveOptions& o) { o.destination.assign(260, 'd'); }, 0},
      {"groups past their field", [](DirectiveOptions& o) { o.groups = "G|" + std::string(1038, 'c'); }, 0},
      {"extensions past their field", [](DirectiveOptions& o) { o.extensions = "^.TXT|" + std::string(254, 'c'); }, 0},
      {"a character outside 1252", [](DirectiveOptions& o) { o.destination = "C:\\\xCE\xA9mega"; }, 0},
      {"groups without the shown text", [](DirectiveOptions& o) { o.groups = "|[CreateGroup(X)]"; }, 0},
      {"an empty group command", [](DirectiveOptions& o) { o.groups = "G|[A]||[B]"; }, 0},
      {"a key without a command", [](DirectiveOptions& o) { o.extensions = "^.TXT|x|^.DOC"; }, 0},
      {"a key without its dot", [](DirectiveOptions& o) { o.extensions = "^TXT|x"; }, 0},
      {"a key with a path", [](DirectiveOptions& o) { o.extensions = "^.A\\B|x"; }, 0},
      {"an unknown overwrite", [](DirectiveOptions& o) { o.overwrite = "sometimes"; }, 0},
      {"past the stub's search", [](DirectiveOptions&) {}, 300000},
      {"not at a multiple of 12", [](DirectiveOptions&) {}, 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DirectiveOptions o = Everything();
    c.change(o);
    std::vector<uint8_t> record;
    std::string error;
    EXPECT_FALSE(MakeDirectiveRecord(o, c.offset, &record, &error));
    EXPECT_FALSE(error.empty());
  }
  // The longest texts that fit are taken.
  DirectiveOptions longest = Everything();
  longest.destination.assign(259, 'd');
  longest.groups = "G|" + std::string(1037, 'c');
  longest.extensions = "^.TXT|" + std::string(253, 'c');
  std::vector<uint8_t> record;
  std::string error;
  EXPECT_TRUE(MakeDirectiveRecord(longest, 0, &record, &error)) << error;
}

TEST(DirectiveWriter, TheBuilderPlacesTheRecordOrWritesNothing) {
  TempDir dir;
  dir.write("stub.exe", "MZ" + std::string(1001, 's'));
  ZipEntryPlan entry;
  entry.name = "a/b.txt";
  entry.data = "conteúdo";
  dir.write("in.zip", BuildZip({entry}));
  BuildRequest request;
  request.output = dir.file("out.exe");
  request.stub = dir.file("stub.exe");
  request.archive = dir.file("in.zip");
  request.directives = Everything();
  BuildResult result;
  std::string error;
  ASSERT_TRUE(BuildSfx(request, &result, &error)) << error;
  EXPECT_EQ(result.layout.directiveOffset, 1008u);
  EXPECT_EQ(result.layout.zipOffset, 1008u + 2140u);
  RecordingFrontEnd shown(false);
  SetupDirectives d;
  ASSERT_TRUE(ReadSetupDirectives(d, dir.file("out.exe").c_str(), shown.reporter()).ok());
  EXPECT_EQ(d.flags(), 0x0515);

  request.output = dir.file("refused.exe");
  request.directives.extensions = "^.TXT";
  EXPECT_FALSE(BuildSfx(request, &result, &error));
  EXPECT_FALSE(dir.exists("refused.exe"));
}

}  // namespace
