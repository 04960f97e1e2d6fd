// Message texts, fatal and archive-error exits, warnings, figures.
#include <gtest/gtest.h>

#include "exit_codes.h"

#include <cstring>

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
  for (const Case& c : cases) EXPECT_STREQ(FormatKilobytes(c.value), c.text) << c.value;

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
  ReportWarning(4, "a.txt");
  ASSERT_EQ(front.messages.size(), 1u);
  EXPECT_EQ(front.messages[0], "Falha na checagem do arquivo de CRC  a.txt");
  EXPECT_EQ(front.captions[0], "VESPA® para Windows");
  EXPECT_EQ(gWarningFlag, 1);
}

TEST(Warnings, WithTheDialogTheyBecomeNotifications) {
  RecordingFrontEnd front(true);
  ReportWarning(13, "");
  EXPECT_TRUE(front.messages.empty());
  ASSERT_EQ(front.warnings(), std::vector<int>{13});
  EXPECT_EQ(front.warningTexts()[0], "Ignorando arquivo encriptado:  ");
  EXPECT_EQ(gWarningFlag, 1);
}

TEST(Notifications, NothingIsSentWithoutTheDialog) {
  RecordingFrontEnd front(false);
  NotifyItem("x");
  NotifyTesting();
  EXPECT_TRUE(front.notifications.empty());
}

TEST(StringTable, BuiltInCopy) {
  char* text = LoadResourceText(IDS_TEST_WARNINGS, nullptr, 256);
  EXPECT_STREQ(text, "Teste completado com %d aviso(s).");
  delete[] text;
  text = LoadResourceText(9999, nullptr, 256);
  EXPECT_STREQ(text, "");
  delete[] text;
}

// The recorder cannot outlive a death test's child, so the fatal paths print to standard error.
TEST(ReportDeathTest, FatalAndArchiveErrorExits) {
  EXPECT_EXIT(ReportFatal(12, "x.zip"), ::testing::ExitedWithCode(12),
              "encontrei o arquivo .ZIP:  x.zip");
  // An empty table entry without detail shows a single space.
  EXPECT_EXIT(ReportFatal(103, nullptr), ::testing::ExitedWithCode(103), "^ \n$");
  EXPECT_EXIT(ReportFatal(255, "ignored"), ::testing::ExitedWithCode(255), "^$");
  EXPECT_EXIT(ReportFatal(0, "ignored"), ::testing::ExitedWithCode(0), "^$");
  EXPECT_EXIT(ReportArchiveError(152, "detail"), ArchiveErrorExit(152),
              "assinaturas de CE : detail");
  EXPECT_EXIT(ReportArchiveError(151, ""), ArchiveErrorExit(151),
              "ZIP \n$");
}

}  // namespace
