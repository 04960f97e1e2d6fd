#include "shell/extensions.h"

#include <cstring>
#include <memory>
#include <new>

#include "report/string_ids.h"

namespace {

constexpr int kTextSize = 256;
constexpr char kSection[] = "Extensions";

struct Verb {
  const char* name;
  const char* ddeExecute;
  const char* displayName;  // null: the verb's key gets no text of its own
};
// The plain kind uses the first row only; the DDE kind every row up to the empty one.
const Verb kVerbs[] = {{"open", "[open(\"%1\")]", nullptr}, {nullptr, nullptr, nullptr}};

// A string resource as a text; empty when it does not exist.
Text Resource(Reporter& reporter, int id) {
  char buffer[kTextSize];
  reporter.frontEnd().loadString(id, buffer, sizeof buffer);
  return Text(buffer);
}

void ShowText(Reporter& reporter, const Text& text) { reporter.show(text.c_str()); }

// A marker, '.', then a name that stays one key below HKEY_CLASSES_ROOT and one WIN.INI entry:
// anything else would write where no extension lives.
bool WellFormedKey(const char* key) {
  if (std::strlen(key) < 3 || key[1] != '.') return false;
  return !std::strpbrk(key + 2, "\\/=[]");
}

// Creates parent\name with value as its default; the new key (to be closed), or 0.
ExtensionRegistry::Key CreateWithValue(ExtensionRegistry& registry, ExtensionRegistry::Key parent,
                                       const char* name, const char* value) {
  ExtensionRegistry::Key key = registry.createKey(parent, name);
  if (!key) return 0;
  if (!registry.setDefaultValue(key, value)) {
    registry.closeKey(key);
    return 0;
  }
  return key;
}

bool SetSubkey(ExtensionRegistry& registry, ExtensionRegistry::Key parent, const char* name,
               const char* value) {
  ExtensionRegistry::Key key = CreateWithValue(registry, parent, name, value);
  if (!key) return false;
  registry.closeKey(key);
  return true;
}

// The verbs under K: true when every key and value was written.
bool WriteVerbs(ExtensionRegistry& registry, ExtensionRegistry::Key k, bool dde, const Text& cmd) {
  for (const Verb* verb = kVerbs; verb->name; ++verb) {
    Text shell = Text("shell\\") += verb->name;
    if (verb->displayName && !SetSubkey(registry, k, shell.c_str(), verb->displayName)) return false;
    Text command = shell;
    command += "\\command";
    // The DDE kind opens the document through its execute text, not on the command line.
    Text value = dde ? ReplaceAll(cmd.c_str(), "", "%1") : cmd;
    if (!SetSubkey(registry, k, command.c_str(), value.c_str())) return false;
    if (!dde) return true;

    Text ddeexec = shell;
    ddeexec += "\\ddeexec";
    ExtensionRegistry::Key exec = CreateWithValue(registry, k, ddeexec.c_str(), verb->ddeExecute);
    if (!exec) return false;
    Text application = ApplicationName(cmd.c_str(), registry);
    bool written = !application.empty() &&
                   SetSubkey(registry, exec, "application", application.c_str()) &&
                   SetSubkey(registry, exec, "topic", "system");
    registry.closeKey(exec);
    if (!written) return false;
  }
  return true;
}

// The registry part of one pair; false when it failed (and was removed again).
bool RegisterInRegistry(ExtensionRegistry& registry, const char* key, bool dde, const Text& cmd,
                        const Text& typeName, Reporter& reporter) {
  const char* keyName = key + 1;  // .TXT
  registry.deleteKeyTree(keyName);
  ExtensionRegistry::Key k = registry.createKey(0, keyName);
  if (!k) return false;
  bool failed = false;
  if (dde && !typeName.empty()) {
    if (registry.setDefaultValue(k, typeName.c_str())) {
      registry.closeKey(k);
      registry.deleteKeyTree(typeName.c_str());
      k = registry.createKey(0, typeName.c_str());
      Text description = Resource(reporter, IDS_FILE_TYPE_NAME);
      failed = !k || description.empty() || !registry.setDefaultValue(k, description.c_str());
    } else {
      failed = true;
    }
  }
  if (!failed) failed = !WriteVerbs(registry, k, dde, cmd);
  if (k) registry.closeKey(k);
  if (failed) {
    registry.deleteKeyTree(keyName);
    if (dde && !typeName.empty()) registry.deleteKeyTree(typeName.c_str());
  }
  return !failed;
}

}  // namespace

Text ApplicationName(const char* command, ExtensionRegistry& registry) {
  Text program(command);
  char* p = program.data();
  size_t length = program.size();
  // From the end back to the second character: the program ends at its first white space.
  for (size_t i = length; i > 1; --i) {
    char c = p[i - 1];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') p[i - 1] = 0;
  }
  size_t size = length + 1 < 0xFFFF ? length + 1 : 0xFFFF;
  std::unique_ptr<char[]> title(new char[size]);
  title[0] = 0;
  if (!p || !registry.fileTitle(p, title.get(), static_cast<uint16_t>(size))) return Text();
  title[size - 1] = 0;
  if (char* dot = std::strchr(title.get(), '.')) *dot = 0;
  return Text(title.get());
}

void RegisterExtensions(const SetupDirectives& directives, const char* destination,
                        ExtensionRegistry& registry, Reporter& reporter) {
  Text registryFailure = Resource(reporter, IDS_EXTENSION_ERROR);
  Text profileFailure = registryFailure;
  bool profileChanged = false;
  ExtensionPair pair;
  for (int i = 0; ExtensionPairAt(directives.extensionText(), i, &pair); ++i) {
    if (!WellFormedKey(pair.key)) {
      ShowText(reporter, registryFailure);
      continue;
    }
    Text cmd = ReplaceAll(pair.command, destination, "%0");
    bool dde = pair.key[0] == '$';
    Text typeName = Resource(reporter, IDS_FILE_TYPE);

    if (!RegisterInRegistry(registry, pair.key, dde, cmd, typeName, reporter)) {
      ShowText(reporter, registryFailure);
    }

    const char* extension = pair.key + 2;  // TXT
    if (dde) {
      // The file type opens the document; an older plain association would compete with it.
      registry.writeProfileString(kSection, extension, nullptr);
      profileChanged = true;
    } else {
      Text value = ReplaceAll(cmd.c_str(), pair.key, "%1");
      if (registry.writeProfileString(kSection, extension, value.c_str())) {
        profileChanged = true;
      } else {
        ShowText(reporter, profileFailure);
      }
    }
  }
  if (profileChanged) registry.broadcastIniChange();
}
