// The password check of encrypted entries: known passwords, prompts, skipping, giving up.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive_fixture.h"
#include "extract/context.h"
#include "extract/decrypt.h"
#include "options/run_options.h"
#include "recording_front_end.h"
#include "report/user_callbacks.h"
#include "temp_dir.h"
#include "traditional_encrypter.h"
#include "zip_writer.h"

namespace {

// Answers password prompts from a script, writing only into the buffer it is handed. Like the
// front ends' callbacks, it hands the last password typed to the runs after it.
class PasswordScript : public UserCallbacks {
 public:
  std::vector<std::pair<int, std::string>> answers;  // consumed in order; skip when exhausted
  std::vector<std::string> prompts;                   // entry names asked about
  std::vector<bool> toldWrong;                        // lastPasswordWrong at each prompt
  std::string typed;                                  // the last password typed
  int getPasswordCalls = 0;

  int AskOverwrite(const char*, const CentralHeader*) override { return 'N'; }
  int AskLastDisk() override { return kKeyAbort; }
  int AskDisk(int) override { return kKeyAbort; }
  int AskYesNo(const char*) override { return 0; }
  char* GetPassword(char* buffer, int size) override {
    ++getPasswordCalls;
    std::memset(buffer, 0, static_cast<size_t>(size));
    std::strncpy(buffer, typed.c_str(), static_cast<size_t>(size) - 1);
    return buffer;
  }
  int AskPassword(const char* entryName, char* buffer, int size) override {
    prompts.emplace_back(entryName);
    toldWrong.push_back(lastPasswordWrong);
    EXPECT_EQ(size, kPasswordSize);
    if (answers.empty()) return kPasswordSkip;
    auto answer = answers.front();
    answers.erase(answers.begin());
    if (answer.first == kPasswordEntered) {
      std::memset(buffer, 0, static_cast<size_t>(size));
      std::strncpy(buffer, answer.second.c_str(), static_cast<size_t>(size) - 1);
      typed = buffer;
    }
    return answer.first;
  }
};

std::string Payload(const std::string& name) {
  std::string s;
  for (int i = 0; i < 3000; ++i) s += name[static_cast<size_t>(i) % name.size()];
  return s;
}

// A stored entry encrypted with password; checked against the time's high byte when it has a
// data descriptor, else against the CRC's.
ZipEntryPlan Encrypted(const std::string& name, const char* password, uint16_t flags = 0,
                       uint32_t dosDateTime = 0x5A2B6000) {
  ZipEntryPlan e;
  e.name = name;
  e.data = Payload(name);
  e.flags = flags | kFlagEncrypted;
  e.dosDateTime = dosDateTime;
  const uint8_t check = (flags & kFlagDataDescriptor) ? static_cast<uint8_t>(dosDateTime >> 8)
                                                      : static_cast<uint8_t>(ReferenceCrc32(e.data) >> 24);
  e.compressed = EncryptEntryData(e.data, password, check);
  e.useCompressed = true;
  return e;
}

class CheckPasswordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options_.command = kCommandTest;
    options_.Password = 1;  // the stub always passes a password word
  }

  void Load(const std::vector<ZipEntryPlan>& entries) {
    loaded_ = LoadArchive(dir_.file("p.zip"), BuildZip(entries));
    ASSERT_NE(loaded_, nullptr);
  }
  ArchiveState& archive() { return loaded_->archive(); }

  const CentralHeader* Entry(const std::string& name) {
    for (uint32_t i = 0; i < archive().entryCount; ++i) {
      const CentralHeader* e = &archive().entries()[i];
      if (std::string(e->name, e->nameLength) == name) return e;
    }
    ADD_FAILURE() << "no entry " << name;
    return nullptr;
  }

  // The context of one run over the loaded archive, made by the first check after NewRun().
  ExtractionContext& Run() {
    if (!context_) {
      context_ = std::make_unique<ExtractionContext>(&archive(), options_, front_.reporter(),
                                                     &script_, "");
    }
    return *context_;
  }
  void NewRun() { context_.reset(); }

  // As ExtractEntry does it: positioned at the entry's data, then the check. On acceptance the
  // rest of the entry is read through the key state the check left behind.
  // 0 accepted, 1 skipped, as the tables write it.
  int Check(const std::string& name, std::string* plain = nullptr) {
    const CentralHeader* entry = Entry(name);
    archive().seekEntryData(*entry);
    positionBefore_ = archive().stream->position();
    ExtractionContext& context = Run();
    context.decrypting = false;
    copyEntryName(context.nameBuffer, kLongPathSize, entry->name, entry->nameLength);
    const PasswordCheck check = CheckPassword(&context, entry);
    if (check == PasswordCheck::kAccepted) {
      EXPECT_TRUE(context.decrypting);
      EXPECT_EQ(context.remainingInput, entry->compressedSize - 12);
      if (plain) {
        std::vector<uint8_t> buffer(context.remainingInput);
        uint32_t got = ReadEntryData(&context, buffer.data(), static_cast<uint32_t>(buffer.size()));
        plain->assign(buffer.begin(), buffer.begin() + got);
      }
    }
    return check == PasswordCheck::kAccepted ? 0 : 1;
  }
  bool NothingRead() { return archive().stream->position() == positionBefore_; }

  TempDir dir_;
  RecordingFrontEnd front_;
  PasswordScript script_;
  RunOptions options_;
  std::unique_ptr<LoadedArchive> loaded_;
  std::unique_ptr<ExtractionContext> context_;
  uint32_t positionBefore_ = 0;
};

TEST_F(CheckPasswordTest, PasswordFromTheOptionIsTriedFirst) {
  Load({Encrypted("a.txt", "opt-pass")});
  options_.passwordText = "opt-pass";
  std::string plain;
  EXPECT_EQ(Check("a.txt", &plain), 0);
  EXPECT_EQ(plain, Payload("a.txt"));
  EXPECT_TRUE(script_.prompts.empty());
  EXPECT_EQ(script_.getPasswordCalls, 0);
}

TEST_F(CheckPasswordTest, FirstPromptThenTheTypedPasswordServesLaterEntriesAndRuns) {
  Load({Encrypted("one.txt", "shared"), Encrypted("two.txt", "shared"),
        Encrypted("three.txt", "shared")});
  script_.answers = {{kPasswordEntered, "shared"}};
  std::string plain;
  EXPECT_EQ(Check("one.txt", &plain), 0);
  EXPECT_EQ(plain, Payload("one.txt"));
  EXPECT_EQ(script_.getPasswordCalls, 1);
  // The same run keeps the password it found.
  EXPECT_EQ(Check("two.txt", &plain), 0);
  EXPECT_EQ(plain, Payload("two.txt"));
  EXPECT_STREQ(Run().password.c_str(), "shared");
  EXPECT_EQ(script_.getPasswordCalls, 1);
  // A later run of the session starts from the password the user typed.
  NewRun();
  EXPECT_EQ(Check("three.txt", &plain), 0);
  EXPECT_EQ(plain, Payload("three.txt"));
  EXPECT_EQ(script_.getPasswordCalls, 2);
  EXPECT_EQ(script_.prompts, std::vector<std::string>{"one.txt"});
  EXPECT_TRUE(front_.warnings().empty());
}

// One entry, password "right", a script of answers: what comes of it.
struct PromptCase {
  const char* label;
  std::vector<std::pair<int, std::string>> answers;
  int result;
  size_t prompts;
  std::vector<std::string> warnings;
  int passwordFlagAfter;
};

TEST_F(CheckPasswordTest, PromptLoop) {
  const auto wrong = std::make_pair(kPasswordEntered, std::string("wrong"));
  const auto right = std::make_pair(kPasswordEntered, std::string("right"));
  const auto skip = std::make_pair(kPasswordSkip, std::string());
  const auto skipAll = std::make_pair(kPasswordSkipAll, std::string());
  // Skipping names the entry, as every other warning about one does.
  const std::string ignored = "Ignorando arquivo encriptado:  s.txt";
  const std::string incorrect = "Senha Incorreta para arquivo:  s.txt";
  const PromptCase cases[] = {
      {"right at once", {right}, 0, 1, {}, 1},
      {"right at the second", {wrong, right}, 0, 2, {}, 1},
      {"skip", {skip}, 1, 1, {ignored}, 1},
      {"skip all after a wrong one", {wrong, skipAll}, 1, 2, {ignored}, 0},
      {"five wrong", {wrong, wrong, wrong, wrong, wrong}, 1, 5, {incorrect}, 1},
      {"right at the fifth is still tried", {wrong, wrong, wrong, wrong, right}, 0, 5, {}, 1},
      {"skip all at the fifth", {wrong, wrong, wrong, wrong, skipAll}, 1, 5, {incorrect}, 0},
      {"skip at the fifth", {wrong, wrong, wrong, wrong, skip}, 1, 5, {incorrect}, 1},
  };
  Load({Encrypted("s.txt", "right")});
  for (const PromptCase& c : cases) {
    SCOPED_TRACE(c.label);
    NewRun();
    script_.typed.clear();
    front_.notifications.clear();
    script_.prompts.clear();
    script_.toldWrong.clear();
    script_.answers = c.answers;
    std::string plain;
    EXPECT_EQ(Check("s.txt", &plain), c.result);
    if (c.result == 0) {
      EXPECT_EQ(plain, Payload("s.txt"));
    }
    EXPECT_EQ(script_.prompts.size(), c.prompts);
    // Every question after the first follows a password typed at this entry that failed.
    std::vector<bool> toldWrong(c.prompts, true);
    toldWrong[0] = false;
    EXPECT_EQ(script_.toldWrong, toldWrong);
    EXPECT_EQ(front_.warningTexts(), c.warnings);
    EXPECT_EQ(Run().passwordsAllowed, c.passwordFlagAfter);
  }
}

TEST_F(CheckPasswordTest, AfterSkipAllLaterEntriesAreSkippedWithoutPromptOrRead) {
  Load({Encrypted("first.txt", "p"), Encrypted("second.txt", "p")});
  script_.answers = {{kPasswordSkipAll, ""}};
  EXPECT_EQ(Check("first.txt"), 1);
  EXPECT_EQ(Check("second.txt"), 1);
  EXPECT_TRUE(NothingRead());
  EXPECT_EQ(script_.prompts, std::vector<std::string>{"first.txt"});
  EXPECT_EQ(front_.warningTexts(),
            (std::vector<std::string>{"Ignorando arquivo encriptado:  first.txt",
                                      "Ignorando arquivo encriptado:  second.txt"}));
}

TEST_F(CheckPasswordTest, WithoutThePasswordOptionNothingIsReadOrAsked) {
  Load({Encrypted("x.txt", "p")});
  options_.Password = 0;
  EXPECT_EQ(Check("x.txt"), 1);
  EXPECT_TRUE(NothingRead());
  EXPECT_TRUE(script_.prompts.empty());
  EXPECT_EQ(front_.warningTexts(), std::vector<std::string>{"Ignorando arquivo encriptado:  x.txt"});
}

TEST_F(CheckPasswordTest, DataDescriptorEntriesAreCheckedAgainstTheTime) {
  ZipEntryPlan e = Encrypted("dd.txt", "timed", kFlagDataDescriptor, 0x5A2B7E00);
  ASSERT_NE(ReferenceCrc32(e.data) >> 24, 0x7Eu);  // the CRC's byte would not match
  Load({e});
  options_.passwordText = "timed";
  std::string plain;
  EXPECT_EQ(Check("dd.txt", &plain), 0);
  EXPECT_EQ(plain, Payload("dd.txt"));
  EXPECT_TRUE(script_.prompts.empty());
}

TEST_F(CheckPasswordTest, CompressedSizeBelowTheHeaderIsRefusedBeforeReading) {
  ZipEntryPlan e = Encrypted("tiny.txt", "p");
  e.overrideCompressedSize = true;
  e.compressedSize = 11;
  Load({e});
  options_.passwordText = "p";
  EXPECT_EQ(Check("tiny.txt"), 1);
  EXPECT_TRUE(NothingRead());
  EXPECT_TRUE(script_.prompts.empty());
  EXPECT_EQ(front_.warningTexts(),
            std::vector<std::string>{"Tamanho inesperado no arquivo .ZIP  tiny.txt"});
}

TEST_F(CheckPasswordTest, TypedPasswordNeverLandsInTheOptionWordsText) {
  // The option's password is shorter than the prompt's answer: the answer replaces it for the
  // run, whole, and the run settings stay as they were given.
  Load({Encrypted("long.txt", "a-password-of-thirty-one-chars!")});
  options_.passwordText = "abc";
  script_.answers = {{kPasswordEntered, "a-password-of-thirty-one-chars!"}};
  std::string plain;
  EXPECT_EQ(Check("long.txt", &plain), 0);
  EXPECT_EQ(plain, Payload("long.txt"));
  EXPECT_STREQ(options_.passwordText.c_str(), "abc");
  EXPECT_STREQ(Run().password.c_str(), "a-password-of-thirty-one-chars!");
}

TEST_F(CheckPasswordTest, SkippingKeepsTheOptionPasswordForLaterEntries) {
  Load({Encrypted("other.txt", "different"), Encrypted("mine.txt", "given")});
  options_.passwordText = "given";
  script_.answers = {{kPasswordSkip, ""}};
  EXPECT_EQ(Check("other.txt"), 1);
  EXPECT_EQ(Check("mine.txt"), 0);
  EXPECT_EQ(script_.prompts, std::vector<std::string>{"other.txt"});
}

}  // namespace
