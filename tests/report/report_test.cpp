// Message texts, the texts and exit codes of a status, warnings, notifications, figures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "recording_front_end.h"
#include "report/report.h"
#include "report/string_ids.h"

namespace {

TEST(Figures, KilobytesAndThousands) {
  struct Case {
    uint64_t value;
    const char* text;
  } cases[] = {{0, "0K"}, {999, "999K"}, {1000, "1,000K"}, {12345, "12,345K"},
               {1234567, "1,234,567K"}, {4294967295u, "4,294,967,295K"},
               // 16 TiB free: past 32 bits of kilobytes.
               {17179869184ull, "17,179,869,184K"},
               {18446744073709551615ull, "18,446,744,073,709,551,615K"}};
  char figure[kKilobytesTextSize];
  for (const Case& c : cases) EXPECT_STREQ(FormatKilobytes(c.value, figure), c.text) << c.value;

  char text[32] = "123";
  EXPECT_STREQ(InsertThousandsSeparators(text), "123");
  std::strcpy(text, "1234");
  EXPECT_STREQ(InsertThousandsSeparators(text), "1,234");
}

TEST(MessageTables, NumbersReachTheirTexts) {
  EXPECT_STREQ(FatalText(2), "Opção do comando especificado é ambígua - ");
  EXPECT_STREQ(FatalText(24), "Unidade não está pronta: ");
  EXPECT_STREQ(FatalText(100), "Memória Insuficiente - Para criar entrada de buffer de trabalho");
  EXPECT_STREQ(FatalText(103), "");
  EXPECT_STREQ(FatalText(108), "Memória Insuficiente - Para Verificação de Autenticidade");
  EXPECT_STREQ(ArchiveErrorText(150), "Erro na leitura do arquivo .ZIP ");
  EXPECT_STREQ(ArchiveErrorText(155), "Muitos arquivos no ");
  // Warnings and fatal numbers share table B: warning n is fatal n + 109.
  EXPECT_STREQ(WarningText(1), "Não posso criar: ");
  EXPECT_STREQ(WarningText(1), FatalText(110));
  EXPECT_STREQ(WarningText(20), "Senha Incorreta para arquivo: ");
  EXPECT_STREQ(WarningText(27), "Memória Insuficiente para atributos extendidos");
  EXPECT_STREQ(WarningText(28), "");
}

TEST(Warnings, WithoutTheDialogTheyBecomeMessageBoxes) {
  RecordingFrontEnd front(false);
  Reporter& reporter = front.reporter();
  EXPECT_FALSE(reporter.warned());
  reporter.warning(4, "a.txt");
  ASSERT_EQ(front.messages.size(), 1u);
  EXPECT_EQ(front.messages[0], "Falha na checagem do arquivo de CRC  a.txt");
  EXPECT_EQ(front.captions[0], "VESPA® para Windows");
  EXPECT_TRUE(front.notifications.empty());
  EXPECT_TRUE(reporter.warned());
}

// A window's caption taken for a message box keeps its first 79 characters, however many bytes
// they take: a cut never falls inside a Cyrillic, CJK or astral character.
TEST(Captions, AWindowsCaptionIsCutAt79Characters) {
  class TitledFrontEnd : public ReportFrontEnd {
   public:
    explicit TitledFrontEnd(std::string title) : title_(std::move(title)) {}
    void showMessage(void*, const char*, const char*) override {}
    void windowText(void*, char* buffer, int size) override {
      std::snprintf(buffer, static_cast<size_t>(size), "%s", title_.c_str());
    }
   private:
    std::string title_;
  };
  auto repeat = [](const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
  };
  const std::string prefix = u8"VESPA® - ";  // 9 characters
  struct Case {
    std::string title;
    std::string shown;
  } cases[] = {
      {prefix + "Z:/short.exe", prefix + "Z:/short.exe"},
      {prefix + repeat("a", 70), prefix + repeat("a", 70)},
      {prefix + repeat("a", 71), prefix + repeat("a", 70)},
      {prefix + repeat(u8"ж", 100), prefix + repeat(u8"ж", 70)},
      {prefix + repeat(u8"日", 100), prefix + repeat(u8"日", 70)},
      {prefix + "a" + repeat(u8"😀", 100), prefix + "a" + repeat(u8"😀", 69)},
  };
  char caption[kCaptionTextSize];
  int window = 0;
  for (const Case& c : cases) {
    TitledFrontEnd front(c.title);
    EXPECT_EQ(WindowCaption(front, &window, caption, sizeof caption), c.shown) << c.title;
  }
  TitledFrontEnd front("unused");
  EXPECT_STREQ(WindowCaption(front, nullptr, caption, sizeof caption), u8"VESPA® para Windows");
}

TEST(Warnings, WithTheDialogTheyBecomeNotifications) {
  RecordingFrontEnd front(true);
  Reporter& reporter = front.reporter();
  reporter.warning(13, "");
  EXPECT_TRUE(front.messages.empty());
  ASSERT_EQ(front.warnings(), std::vector<int>{13});
  EXPECT_EQ(front.warningTexts()[0], "Ignorando arquivo encriptado:  ");
  EXPECT_TRUE(reporter.warned());
  // Each reporter counts its own warnings: another run's reporter starts clean.
  RecordingFrontEnd other(true);
  EXPECT_FALSE(other.reporter().warned());
}

TEST(Notifications, NothingIsSentWithoutTheDialog) {
  RecordingFrontEnd front(false);
  front.reporter().item("x");
  front.reporter().testing();
  EXPECT_TRUE(front.notifications.empty());
  EXPECT_TRUE(front.messages.empty());
}

TEST(Notifications, TheDialogReceivesEachWithItsText) {
  RecordingFrontEnd front(true);
  const Reporter& reporter = front.reporter();
  reporter.item("a.txt");
  reporter.testing();
  reporter.tested();
  reporter.action("Extraindo");
  reporter.extracted(6206);
  reporter.skipping("b.txt");
  reporter.authentic();
  EXPECT_EQ(front.sequence(), (std::vector<Progress>{Progress::kItem, Progress::kTesting, Progress::kTested, Progress::kAction,
                                                      Progress::kExtracted, Progress::kSkipping, Progress::kAuthentic}));
  EXPECT_EQ(front.notifications[0].text, "a.txt");
  EXPECT_EQ(front.notifications[3].text, "Extraindo");
  EXPECT_EQ(front.notifications[4].value, 6206u);
  EXPECT_EQ(front.notifications[5].text, "b.txt");
  EXPECT_TRUE(front.messages.empty());
}

// A front end without a form of its own shows a verified maker in one message box.
TEST(Authenticity, TheDefaultFormIsOneMessageBox) {
  RecordingFrontEnd front;
  front.ReportFrontEnd::showAuthenticity(nullptr, {"ACI280", "Fábrica Ltda.", "", 0});
  front.ReportFrontEnd::showAuthenticity(nullptr, {"AAA000", "Fábrica Ltda.", "Linha 1", 7});
  EXPECT_EQ(front.messages,
            std::vector<std::string>({"Autenticidade Verificada!   # ACI280\nFábrica Ltda.",
                                      "Autenticidade Verificada!   # AAA000\nFábrica Ltda.\nLinha 1"}));
}

TEST(StringTable, BuiltInCopy) {
  RecordingFrontEnd front(false);
  char* text = LoadResourceText(front, IDS_TEST_WARNINGS, 256);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "Teste completado com %d aviso(s).");
  delete[] text;
  text = LoadResourceText(front, 9999, 256);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
  delete[] text;
  // A buffer too small for the text holds as much of it as fits.
  text = LoadResourceText(front, IDS_TEST_WARNINGS, 6);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "Teste");
  delete[] text;
}

// What a run that ends with a fatal or archive-structure error shows and ends with; an end
// without a message (a confirmed cancel, a plain end) shows nothing.
struct StatusCase {
  const char* what;
  Status status;
  StatusKind kind;
  int exitCode;
  const char* text;
};

TEST(StatusMessages, TextsAndExitCodes) {
  const StatusCase cases[] = {
      {"fatal with detail", Status::Fatal(kFatalArchiveNotFound, "x.zip"), StatusKind::kFatal, 12,
       "Não encontrei o arquivo .ZIP:  x.zip"},
      // An empty table entry without detail shows a single space.
      {"empty fatal text", Status::Fatal(kFatalNoMemoryForDirectory), StatusKind::kFatal, 103,
       " "},
      {"cancelled", Status::Exit(kExitCancelled), StatusKind::kExit, 255, ""},
      {"plain end", Status::Exit(0), StatusKind::kExit, 0, ""},
      {"archive error with detail", Status::ArchiveError(kArchiveNoDirectory, "detail"),
       StatusKind::kArchiveError, 152 + 149, "Não encontrado as assinaturas de CE : detail"},
      // Without detail, only the table text: no colon.
      {"archive error, empty detail", Status::ArchiveError(kArchiveTooSmall, ""),
       StatusKind::kArchiveError, 151 + 149, "Arquivo muito pequeno para ser um arquivo .ZIP "},
      {"archive error, no detail", Status::ArchiveError(kArchiveTooManyFiles),
       StatusKind::kArchiveError, 155 + 149, "Muitos arquivos no "},
      {"ok", Status(), StatusKind::kOk, 0, ""},
  };
  for (const StatusCase& c : cases) {
    EXPECT_EQ(c.status.kind(), c.kind) << c.what;
    EXPECT_EQ(c.status.ok(), c.kind == StatusKind::kOk) << c.what;
    EXPECT_EQ(c.status.exitCode(), c.exitCode) << c.what;
    char text[600];
    std::memset(text, 'x', sizeof text);
    c.status.messageText(text, sizeof text);
    EXPECT_STREQ(text, c.text) << c.what;

    RecordingFrontEnd front(false);
    front.reporter().showStatus(c.status);
    if (c.text[0]) {
      EXPECT_EQ(front.messages, std::vector<std::string>{c.text}) << c.what;
      EXPECT_EQ(front.captions, std::vector<std::string>{"VESPA® para Windows"}) << c.what;
    } else {
      EXPECT_TRUE(front.messages.empty()) << c.what;
    }
    EXPECT_TRUE(front.notifications.empty()) << c.what;
    EXPECT_FALSE(front.reporter().warned()) << c.what;
  }
}

TEST(StatusMessages, NumberDetailAndShortBuffers) {
  Status status = Status::Fatal(kFatalCannotOpenArchive, "C:/dados/pacote.zip");
  EXPECT_EQ(status.number(), 13);
  EXPECT_STREQ(status.detail(), "C:/dados/pacote.zip");
  EXPECT_STREQ(Status::Fatal(kFatalAborted).detail(), "");
  EXPECT_EQ(Status::ArchiveError(kArchiveEndedEarly).number(), 153);
  EXPECT_EQ(Status::Exit(kExitVersion).number(), kExitVersion);

  // A copy keeps its detail: the status outlives the buffer its detail came from.
  char name[] = "a.zip";
  Status copy = Status::Fatal(kFatalArchiveNotFound, name);
  name[0] = 'b';
  EXPECT_STREQ(copy.detail(), "a.zip");

  // The text is cut to the buffer and stays terminated; a buffer of no size is left alone.
  char text[8];
  status.messageText(text, sizeof text);
  EXPECT_STREQ(text, "Não po");  // seven bytes
  char untouched = '#';
  status.messageText(&untouched, 0);
  EXPECT_EQ(untouched, '#');
}

}  // namespace
