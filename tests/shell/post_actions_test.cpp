// The two post-extraction actions over their seams: the group commands as a DDE client sends
// them (retries, the first-command rule), and extension registration as it writes the
// registry and WIN.INI (both kinds, clean-up of older keys, roll-back on failure).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "recording_front_end.h"
#include "shell/extensions.h"
#include "shell/program_groups.h"

namespace {

const char kGroupError[] = "Um erro foi encontrado enquanto criava um grupo de programa.";
const char kExtensionError[] = "Um erro foi encontrado enquanto registrava a extensão do arquivo.";

SetupDirectives WithTexts(const std::string& groups, const std::string& extensions) {
  SetupDirectives d;
  uint8_t* body = d.body();
  std::memcpy(body + kDirectiveGroups.offset + kDirectiveFieldText, groups.data(), groups.size());
  std::memcpy(body + kDirectiveExtensions.offset + kDirectiveFieldText, extensions.data(),
              extensions.size());
  SplitAtBars(d);
  return d;
}

// --- program groups ------------------------------------------------------------------------
struct Sent {
  std::string command;
  uint32_t timeout;
};

// A Program Manager whose answer to each transaction the test decides: 0 done, or a DDE error.
class FakeChannel : public DdeChannel {
 public:
  explicit FakeChannel(std::function<int(const std::string&, int attempt)> answer) : answer_(answer) {}
  void pumpMessages() override { ++pumps; }
  bool execute(const char* command, uint32_t timeoutMs) override {
    sent.push_back({command, timeoutMs});
    int attempt = attempts_[command]++;
    error_ = answer_(command, attempt);
    return error_ == 0;
  }
  int lastError() override {
    int e = error_;
    error_ = 0;
    return e;
  }
  std::vector<Sent> sent;
  int pumps = 0;

 private:
  std::function<int(const std::string&, int)> answer_;
  std::map<std::string, int> attempts_;
  int error_ = 0;
};

std::vector<std::string> Commands(const FakeChannel& c) {
  std::vector<std::string> out;
  for (const Sent& s : c.sent) out.push_back(s.command);
  return out;
}

TEST(ProgramGroups, CommandsSentInOrderWithTheDestination) {
  SetupDirectives d = WithTexts("Demo|[CreateGroup(Demo)]|[AddItem(%0demo.exe,Demo,%0demo.exe)]", "");
  FakeChannel channel([](const std::string&, int) { return 0; });
  RecordingFrontEnd shown(false);
  SendGroupCommands(d, channel, "C:\\NEW\\", shown.reporter());
  EXPECT_EQ(Commands(channel), (std::vector<std::string>{
                                   "[CreateGroup(Demo)]",
                                   "[AddItem(C:\\NEW\\demo.exe,Demo,C:\\NEW\\demo.exe)]"}));
  EXPECT_EQ(channel.sent[0].timeout, 5000u);
  EXPECT_EQ(channel.pumps, 2);  // before every send
  EXPECT_TRUE(shown.messages.empty());

  FakeChannel untouched([](const std::string&, int) { return 0; });
  SendGroupCommands(WithTexts("Demo", ""), untouched, "C:\\", shown.reporter());
  EXPECT_TRUE(untouched.sent.empty());
}

TEST(ProgramGroups, RetriesOnBusyOrTimeoutAndTheFirstCommandRule) {
  const std::string groups = "G|c1|c2|c3|c4";
  struct Case {
    const char* name;
    std::function<int(const std::string&, int)> answer;
    std::vector<std::string> sent;  // distinct commands in order
    size_t transactions;
    size_t messages;
  };
  auto always = [](const char* command, int error) {
    return [=](const std::string& c, int) { return c == command ? error : 0; };
  };
  const Case cases[] = {
      {"the first command times out every time", always("c1", kDdeErrorExecuteAckTimeout),
       {"c1"}, 11, 1},
      {"the third is busy every time", always("c3", kDdeErrorBusy), {"c1", "c2", "c3", "c4"},
       3 + 11, 1},
      {"the second is busy twice, then done",
       [](const std::string& c, int attempt) { return c == "c2" && attempt < 2 ? kDdeErrorBusy : 0; },
       {"c1", "c2", "c3", "c4"}, 4 + 2, 0},
      {"another error is not retried", always("c1", 0x4009), {"c1"}, 1, 1},
      {"a later failure lets the rest go on", always("c2", 0x4009), {"c1", "c2", "c3", "c4"}, 4, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeChannel channel(c.answer);
    RecordingFrontEnd shown(false);
    SendGroupCommands(WithTexts(groups, ""), channel, "C:\\", shown.reporter());
    std::vector<std::string> distinct;
    for (const std::string& s : Commands(channel)) {
      if (distinct.empty() || distinct.back() != s) distinct.push_back(s);
    }
    EXPECT_EQ(distinct, c.sent);
    EXPECT_EQ(channel.sent.size(), c.transactions);
    EXPECT_EQ(shown.messages, std::vector<std::string>(c.messages, kGroupError));
    for (size_t i = 1; i < channel.sent.size(); ++i) {
      if (channel.sent[i].command == channel.sent[i - 1].command) {
        EXPECT_EQ(channel.sent[i].timeout, 1000u);
      }
    }
  }
}

TEST(ProgramGroups, TheLibrarysEventsAreShownAndAHangUpForgetsTheConversation) {
  RecordingFrontEnd shown(false);
  int conversation = 0, other = 0;
  DdeState state;
  state.reporter = &shown.reporter();
  state.conversation = &conversation;
  HandleDdeEvent(state, 0x80C2, &other);  // another conversation's end
  EXPECT_EQ(state.conversation, &conversation);
  HandleDdeEvent(state, 0x80C2, &conversation);
  EXPECT_EQ(state.conversation, nullptr);
  HandleDdeEvent(state, 0x8002, nullptr);
  HandleDdeEvent(state, 0x4050, nullptr);  // an execute: nothing to say
  EXPECT_EQ(shown.messages, (std::vector<std::string>{"DDE desconectado.", "DDE desconectado.",
                                                      "Ocorreu um erro crítico de DDE."}));
}

// --- extension registration ----------------------------------------------------------------
// HKEY_CLASSES_ROOT as a map of key paths to default values, WIN.INI as a map of entries.
class FakeRegistry : public ExtensionRegistry {
 public:
  int deleteKeyTree(const char* name) override {
    if (!*name) return kErrorBadKey;
    std::string prefix = Lower(name);
    int found = kErrorFileNotFound;
    for (auto it = keys.begin(); it != keys.end();) {
      if (it->first == prefix || it->first.rfind(prefix + "\\", 0) == 0) {
        it = keys.erase(it);
        found = 0;
      } else {
        ++it;
      }
    }
    return found;
  }
  Key createKey(Key parent, const char* name) override {
    std::string path = parent ? open_.at(parent) + "\\" + name : name;
    if (failCreate.count(Lower(path))) return 0;
    // Every key on the way exists afterwards.
    for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
      keys.emplace(Lower(path.substr(0, at)), "");
    }
    keys.emplace(Lower(path), "");
    open_[++next_] = Lower(path);
    return next_;
  }
  bool setDefaultValue(Key key, const char* value) override {
    if (failSet.count(open_.at(key))) return false;
    keys[open_.at(key)] = value;
    return true;
  }
  void closeKey(Key key) override { EXPECT_EQ(open_.erase(key), 1u) << "closed twice or never opened"; }
  bool writeProfileString(const char* section, const char* entry, const char* value) override {
    EXPECT_STREQ(section, "Extensions");
    if (failProfile) return false;
    if (value) {
      profile[entry] = value;
    } else {
      profile.erase(entry);
    }
    return true;
  }
  void broadcastIniChange() override { ++broadcasts; }
  bool fileTitle(const char* path, char* out, uint16_t size) override {
    const char* name = std::strrchr(path, '\\');
    name = name ? name + 1 : path;
    if (!*name || std::strlen(name) >= size) return false;
    std::strcpy(out, name);
    return true;
  }

  static std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }
  size_t openKeys() const { return open_.size(); }

  std::map<std::string, std::string> keys;  // lower-case path -> default value
  std::map<std::string, std::string> profile;
  std::set<std::string> failCreate, failSet;
  bool failProfile = false;
  int broadcasts = 0;

 private:
  std::map<Key, std::string> open_;
  Key next_ = 0;
};

TEST(Extensions, ThePlainAndTheDdeKind) {
  FakeRegistry registry;
  registry.keys["zip"] = "";
  // Older keys under the extension and the file type go first.
  registry.keys[".txt\\shell\\print\\command"] = "old";
  registry.keys["tambofile\\shell\\edit\\command"] = "old";
  registry.profile["ZIP"] = "C:\\OLD\\X.EXE ^.ZIP";
  RecordingFrontEnd shown(false);
  SetupDirectives d = WithTexts("", "^.TXT|%0VIEWER.EXE %1|$.ZIP|%0VIEWER.EXE %1");
  RegisterExtensions(d, "C:\\NEW\\", registry, shown.reporter());

  std::map<std::string, std::string> want = {
      {"zip", ""},
      {".txt", ""}, {".txt\\shell", ""}, {".txt\\shell\\open", ""},
      {".txt\\shell\\open\\command", "C:\\NEW\\VIEWER.EXE %1"},
      {".zip", "tambofile"},
      {"tambofile", "TAMBO File"}, {"tambofile\\shell", ""}, {"tambofile\\shell\\open", ""},
      {"tambofile\\shell\\open\\command", "C:\\NEW\\VIEWER.EXE "},
      {"tambofile\\shell\\open\\ddeexec", "[open(\"%1\")]"},
      {"tambofile\\shell\\open\\ddeexec\\application", "VIEWER"},
      {"tambofile\\shell\\open\\ddeexec\\topic", "system"},
  };
  EXPECT_EQ(registry.keys, want);
  EXPECT_EQ(registry.profile, (std::map<std::string, std::string>{{"TXT", "C:\\NEW\\VIEWER.EXE ^.TXT"}}));
  EXPECT_EQ(registry.broadcasts, 1);
  EXPECT_EQ(registry.openKeys(), 0u);
  EXPECT_TRUE(shown.messages.empty());
}

TEST(Extensions, FailuresRollBackAndRegistrationGoesOn) {
  struct Case {
    const char* name;
    std::function<void(FakeRegistry&)> fault;
    std::string extensions;
    std::map<std::string, std::string> keys;
    std::map<std::string, std::string> profile;
    size_t messages;
    int broadcasts;
  };
  const std::string plainThenDde = "^.TXT|%0V.EXE %1|$.ZIP|%0V.EXE %1";
  const std::map<std::string, std::string> txtKeys = {
      {".txt", ""}, {".txt\\shell", ""}, {".txt\\shell\\open", ""},
      {".txt\\shell\\open\\command", "D:\\V.EXE %1"}};
  const Case cases[] = {
      {"the extension key cannot be made", [](FakeRegistry& r) { r.failCreate.insert(".txt"); },
       "^.TXT|%0V.EXE %1", {}, {{"TXT", "D:\\V.EXE ^.TXT"}}, 1, 1},
      {"the command cannot be written",
       [](FakeRegistry& r) { r.failSet.insert(".txt\\shell\\open\\command"); },
       "^.TXT|%0V.EXE %1", {}, {{"TXT", "D:\\V.EXE ^.TXT"}}, 1, 1},
      {"the DDE topic cannot be made: the file type goes too",
       [](FakeRegistry& r) { r.failCreate.insert("tambofile\\shell\\open\\ddeexec\\topic"); },
       plainThenDde, txtKeys, {{"TXT", "D:\\V.EXE ^.TXT"}}, 1, 1},
      {"no application name", [](FakeRegistry&) {}, "$.ZIP|%0 %1", {}, {}, 1, 1},
      {"WIN.INI refuses", [](FakeRegistry& r) { r.failProfile = true; }, "^.TXT|%0V.EXE %1",
       txtKeys, {}, 1, 0},
      {"a key without a command is left out", [](FakeRegistry&) {}, "^.TXT|%0V.EXE %1|^.DOC",
       txtKeys, {{"TXT", "D:\\V.EXE ^.TXT"}}, 0, 1},
      {"a key that is no extension", [](FakeRegistry&) {}, "^TXT|%0V.EXE|^.\\CLSID|x|^.TXT|%0V.EXE %1",
       txtKeys, {{"TXT", "D:\\V.EXE ^.TXT"}}, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRegistry registry;
    c.fault(registry);
    RecordingFrontEnd shown(false);
    RegisterExtensions(WithTexts("", c.extensions), "D:\\", registry, shown.reporter());
    EXPECT_EQ(registry.keys, c.keys);
    EXPECT_EQ(registry.profile, c.profile);
    EXPECT_EQ(shown.messages, std::vector<std::string>(c.messages, kExtensionError));
    EXPECT_EQ(registry.broadcasts, c.broadcasts);
    EXPECT_EQ(registry.openKeys(), 0u);
  }
}

TEST(Extensions, ApplicationName) {
  FakeRegistry registry;
  const struct { const char* command; const char* want; } cases[] = {
      {"C:\\APPS\\VIEWER.EXE /P %1", "VIEWER"},
      {"C:\\APPS\\VIEWER.EXE", "VIEWER"},
      {"C:\\A.B\\TOOL.V2.EXE", "TOOL"},
      {" C:\\X.EXE", "X"},  // a blank in first place does not end the program
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_STREQ(ApplicationName(c.command, registry).c_str(), c.want);
  }
}

}  // namespace
