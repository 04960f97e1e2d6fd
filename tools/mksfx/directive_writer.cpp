#include "directive_writer.h"

#include <cstring>

#include "fs/codepage.h"
#include "shell/setup_directives.h"
#include "zip/byte_reader.h"

namespace {

// Longest texts the stub takes: a path fits its 260-char buffers with the NUL; a list keeps two
// zero bytes at the end of its field (its own and the empty string that ends its name block).
constexpr size_t kDestinationMax = 259;
constexpr size_t kGroupsMax = 1041 - 2;
constexpr size_t kExtensionsMax = 261 - 2;

std::vector<std::string> SplitBars(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    size_t bar = text.find('|', start);
    items.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) return items;
    start = bar + 1;
  }
}

// text in code page 1252, or false when some character has no form there.
bool ToAnsi(const std::string& utf8, const char* what, std::string* ansi, std::string* error) {
  *ansi = Utf8ToAnsi(utf8);
  if (AnsiToUtf8(*ansi) != utf8) {
    *error = std::string(what) + " '" + utf8 + "' has a character outside code page 1252";
    return false;
  }
  return true;
}

bool CheckLength(const std::string& ansi, size_t max, const char* what, std::string* error) {
  if (ansi.size() <= max) return true;
  *error = std::string(what) + " has " + std::to_string(ansi.size()) +
           " bytes; its field holds at most " + std::to_string(max);
  return false;
}

bool CheckGroups(const std::string& groups, std::string* error) {
  std::vector<std::string> items = SplitBars(groups);
  if (items[0].empty()) {
    *error = "--groups must start with the text shown to the user";
    return false;
  }
  for (size_t i = 1; i < items.size(); ++i) {
    // An empty item ends the list for the stub: every command after it would be lost.
    if (items[i].empty()) {
      *error = "--groups has an empty command (item " + std::to_string(i + 1) + ")";
      return false;
    }
  }
  return true;
}

bool CheckExtensions(const std::string& extensions, std::string* error) {
  std::vector<std::string> items = SplitBars(extensions);
  if (items.size() % 2 != 0) {
    *error = "--extensions needs pairs: a key such as ^.TXT, then its command line";
    return false;
  }
  for (size_t i = 0; i < items.size(); i += 2) {
    const std::string& key = items[i];
    if (key.size() < 3 || key[1] != '.' || key.find_first_of("\\/=[]", 2) != std::string::npos) {
      *error = "--extensions key '" + key + "' is not a marker ('^' plain, '$' DDE), '.' and an "
               "extension";
      return false;
    }
    if (items[i + 1].empty()) {
      *error = "--extensions key '" + key + "' has no command line";
      return false;
    }
  }
  return true;
}

void PutText(SetupDirectives& directives, const DirectiveField& field, const std::string& text) {
  std::memcpy(directives.body() + field.offset + kDirectiveFieldText, text.data(), text.size());
}

}  // namespace

bool IsOverwriteChoice(const std::string& text) {
  return text == "ask" || text == "always" || text == "never";
}

bool MakeDirectiveRecord(const DirectiveOptions& options, uint64_t offset,
                         std::vector<uint8_t>* record, std::string* error) {
  if (offset % kDirectiveAlignmentBytes != 0 ||
      offset > uint64_t(kDirectiveSearchBlocks - 1) * kDirectiveAlignmentBytes) {
    *error = "the directive record would start at offset " + std::to_string(offset) +
             ", where the stub does not look for it";
    return false;
  }
  std::string destination, groups, extensions;
  if (!ToAnsi(options.destination, "--destination", &destination, error) ||
      !CheckLength(destination, kDestinationMax, "--destination", error) ||
      !ToAnsi(options.groups, "--groups", &groups, error) ||
      !CheckLength(groups, kGroupsMax, "--groups", error) ||
      !ToAnsi(options.extensions, "--extensions", &extensions, error) ||
      !CheckLength(extensions, kExtensionsMax, "--extensions", error)) {
    return false;
  }
  if (!groups.empty() && !CheckGroups(groups, error)) return false;
  if (!extensions.empty() && !CheckExtensions(extensions, error)) return false;

  uint16_t flags = 0;
  if (options.subdirectories) flags |= kDirectiveRecreateDirectories;
  if (options.messages) flags |= kDirectiveShowMessages;
  if (options.overwrite == "always") {
    flags |= kDirectiveOverwriteAlways;
  } else if (options.overwrite == "never") {
    flags |= kDirectiveOverwriteNever;
  } else if (options.overwrite != "ask") {
    *error = "--overwrite takes ask, always or never, not '" + options.overwrite + "'";
    return false;
  }
  if (!groups.empty()) flags |= kDirectiveCreateGroups;
  if (!extensions.empty()) flags |= kDirectiveRegisterExtensions;

  SetupDirectives directives;
  directives.setFlags(flags);
  PutText(directives, kDirectiveDestination, destination);
  PutText(directives, kDirectiveGroups, groups);
  PutText(directives, kDirectiveExtensions, extensions);

  record->assign(kDirectiveRecordSize, 0);
  uint8_t* bytes = record->data();
  uint32_t headerOffset = static_cast<uint32_t>(offset);
  putLe32(bytes + kDirectiveHeaderSignature, kDirectiveSignature);
  putLe32(bytes + kDirectiveHeaderVersion, kDirectiveVersionWord);
  putLe32(bytes + kDirectiveHeaderBodyLength, kDirectiveMaxBody);
  DescrambleBytes(bytes + kDirectiveHeaderBodyLength, 4, headerOffset);
  std::memcpy(bytes + kDirectiveHeaderSize, directives.body(), kDirectiveMaxBody);
  DescrambleBytes(bytes + kDirectiveHeaderSize, kDirectiveMaxBody,
                  headerOffset + kDirectiveBodyKeyOffset);
  return true;
}

bool TakeDirectiveOption(int argc, char** argv, int* i, DirectiveOptions* options,
                         std::string* problem) {
  std::string arg = argv[*i];
  std::string name = arg, value;
  size_t equals = arg.find('=');
  bool inlineValue = equals != std::string::npos;
  if (inlineValue) {
    name = arg.substr(0, equals);
    value = arg.substr(equals + 1);
  }
  std::string* target = name == "--destination"  ? &options->destination
                        : name == "--overwrite"  ? &options->overwrite
                        : name == "--groups"     ? &options->groups
                        : name == "--extensions" ? &options->extensions
                                                 : nullptr;
  bool* flag = name == "--subdirectories" ? &options->subdirectories
               : name == "--messages"     ? &options->messages
                                          : nullptr;
  if (!target && !flag) return false;
  options->present = true;
  if (flag) {
    if (inlineValue) *problem = name + " takes no value";
    *flag = true;
    return true;
  }
  if (!inlineValue) {
    if (*i + 1 >= argc) {
      *problem = name + " needs a value";
      return true;
    }
    value = argv[++*i];
  }
  *target = value;
  return true;
}
