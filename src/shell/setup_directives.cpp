#include "shell/setup_directives.h"

#include <cstring>
#include <initializer_list>
#include <memory>

#include "fs/codepage.h"
#include "report/string_ids.h"
#include "zip/archive_state.h"
#include "zip/byte_reader.h"

uint8_t* DescrambleBytes(uint8_t* buffer, size_t count, uint32_t key) {
  for (size_t i = 0; i < count; ++i) buffer[i] ^= static_cast<uint8_t>(key + 1 + i);
  return buffer;
}

SetupDirectives::SetupDirectives() { ResetDirectives(*this); }

void ResetDirectives(SetupDirectives& directives) {
  uint8_t* body = directives.body();
  std::memset(body, 0, kDirectiveMaxBody);
  putLe16(body + kDirectiveFirstWord, kDirectiveFirstWordValue);
  for (const DirectiveField& field : kDirectiveFields) {
    putLe32(body + field.offset + kDirectiveFieldLength, field.length);
    putLe16(body + field.offset + kDirectiveFieldTag, field.tag);
  }
  putLe32(body + kDirectiveEnd, 0);
  directives.displayList() = Text();
}

namespace {

// Zero bytes a text field must end with: one after a path, two after a list (its text's own
// and the empty string that ends the name block it becomes).
bool EndsInZeros(const uint8_t* text, size_t size, size_t zeros) {
  for (size_t i = size - zeros; i < size; ++i) {
    if (text[i] != 0) return false;
  }
  return true;
}

}  // namespace

bool ValidateDirectives(const SetupDirectives& directives) {
  const uint8_t* body = directives.body();
  if (le16(body + kDirectiveFirstWord) != kDirectiveFirstWordValue) return false;
  for (const DirectiveField& field : kDirectiveFields) {
    if (le32(body + field.offset + kDirectiveFieldLength) != field.length) return false;
    if (le16(body + field.offset + kDirectiveFieldTag) != field.tag) return false;
  }
  if (le32(body + kDirectiveEnd) != 0) return false;
  // The texts are read as C strings and name blocks: one that filled its field to the end
  // would be read on into the pad and the next field's length.
  auto textOf = [body](const DirectiveField& field) {
    return body + field.offset + kDirectiveFieldText;
  };
  return EndsInZeros(textOf(kDirectiveDestination), kDirectiveDestination.textSize, 1) &&
         EndsInZeros(textOf(kDirectiveGroups), kDirectiveGroups.textSize, 2) &&
         EndsInZeros(textOf(kDirectiveExtensions), kDirectiveExtensions.textSize, 2);
}

uint16_t SetupDirectives::flags() const { return le16(body_ + kDirectiveFlags); }

void SetupDirectives::setFlags(uint16_t flags) { putLe16(body_ + kDirectiveFlags, flags); }

const char* SetupDirectives::text(const DirectiveField& field, int slot) const {
  const char* text = reinterpret_cast<const char*>(body_ + field.offset + kDirectiveFieldText);
  if (!text[0]) return nullptr;
  Text& from = convertedFrom_[slot];
  Text& to = converted_[slot];
  if (from.size() != field.textSize || std::memcmp(from.c_str(), text, field.textSize) != 0) {
    from.assign(text, field.textSize);
    std::unique_ptr<char[]> utf8(new char[3 * field.textSize + 1]);
    to.assign(utf8.get(), AnsiToUtf8Into(text, field.textSize, utf8.get()));
  }
  return to.c_str();
}

void SplitAtBars(SetupDirectives& directives) {
  for (const DirectiveField* field : {&kDirectiveExtensions, &kDirectiveGroups}) {
    char* text = reinterpret_cast<char*>(directives.body() + field->offset + kDirectiveFieldText);
    for (size_t i = 0; i < field->textSize; ++i) {
      if (text[i] == '|') text[i] = 0;
    }
  }
}

bool ExtensionPairAt(const char* block, int index, ExtensionPair* pair) {
  if (!block) return false;
  const char* p = block;
  for (int i = 0;; ++i) {
    const char* key = p;
    if (!*key) return false;
    const char* command = key + std::strlen(key) + 1;
    if (!*command) return false;  // a key without a command is left out
    if (i == index) {
      *pair = {key, command};
      return true;
    }
    p = command + std::strlen(command) + 1;
  }
}

const char* ExtensionDisplayList(SetupDirectives& directives) {
  Text& list = directives.displayList();
  list = Text();
  ExtensionPair pair;
  for (int i = 0; ExtensionPairAt(directives.extensionText(), i, &pair); ++i) {
    if (i > 0) list += ";";
    // The key is a marker, '.', then the extension name.
    list += std::strlen(pair.key) > 2 ? pair.key + 2 : "";
  }
  return list.empty() ? nullptr : list.c_str();
}

uint32_t FindDirectiveHeader(FileStream& stream, uint32_t signature, uint32_t versionWord) {
  uint8_t header[kDirectiveHeaderSize];
  for (uint32_t block = 0; block < kDirectiveSearchBlocks; ++block) {
    uint32_t got = 0;
    if (stream.read(header, sizeof header, &got) != 0 || got < sizeof header) return 0;
    if (le32(header + kDirectiveHeaderSignature) == signature &&
        (le32(header + kDirectiveHeaderVersion) >> 16) <= (versionWord >> 16)) {
      uint32_t headerOffset = stream.position() - kDirectiveHeaderSize;
      DescrambleBytes(header + kDirectiveHeaderBodyLength, 4, headerOffset);
      return le32(header + kDirectiveHeaderBodyLength);
    }
  }
  return 0;
}

Status LoadDirectives(SetupDirectives& directives, FileStream& stream, Reporter& reporter) {
  uint32_t length = FindDirectiveHeader(stream, kDirectiveSignature, kDirectiveVersionWord);
  bool invalid = false;
  if (length == 0) {
    ResetDirectives(directives);
  } else if (length > kDirectiveMaxBody) {
    invalid = true;  // the directives keep what they hold
  } else {
    // A shorter body leaves the rest of the defaults in place.
    ResetDirectives(directives);
    uint32_t got = 0;
    if (stream.read(directives.body(), length, &got) != 0 || got != length) {
      invalid = true;
    } else {
      DescrambleBytes(directives.body(), length, stream.position() - length - 8);
      invalid = !ValidateDirectives(directives);
    }
    if (invalid) ResetDirectives(directives);
  }
  if (invalid) {
    char* text = LoadResourceText(reporter.frontEnd(), IDS_INVALID_DIRECTIVES, 256);
    if (!text) return Status::Fatal(kFatalNoMemory);
    reporter.show(text);
    delete[] text;
  }
  if (!directives.programGroupText()) directives.clearFlags(kDirectiveCreateGroups);
  if (!directives.extensionText()) directives.clearFlags(kDirectiveRegisterExtensions);
  return Status();
}

Status ReadSetupDirectives(SetupDirectives& directives, const char* path, Reporter& reporter) {
  FileStream stream(path, kGenericRead, kShareRead, kOpenExisting, 0);
  // A file that cannot be opened yields no header: the defaults.
  Status status = LoadDirectives(directives, stream, reporter);
  stream.close();
  return status;
}

Status ReadSetupDirectives(SetupDirectives& directives, ArchiveState& archive, Reporter& reporter) {
  if (!archive.stream) {
    ResetDirectives(directives);
    return Status();
  }
  uint64_t kept = archive.stream->position();
  archive.stream->rewind();
  Status status = LoadDirectives(directives, *archive.stream, reporter);
  archive.stream->seek(static_cast<int64_t>(kept), kSeekStart);
  if (!ArchiveHasDirectories(&archive)) directives.clearFlags(kDirectiveRecreateDirectories);
  return status;
}

bool ArchiveHasDirectories(const ArchiveState* archive) {
  const CentralHeader* entries = archive ? archive->entries() : nullptr;
  if (!entries) return false;
  for (uint32_t i = 0; i < archive->entryCount; ++i) {
    if (std::memchr(entries[i].name, '/', entries[i].nameLength)) return true;
  }
  return false;
}

Text ReplaceAll(const char* text, const char* replacement, const char* token) {
  Text out;
  size_t tokenLength = std::strlen(token);
  if (tokenLength == 0) return Text(text);
  const char* p = text;
  while (const char* found = std::strstr(p, token)) {
    out.append(p, static_cast<size_t>(found - p));
    out += replacement;
    p = found + tokenLength;
  }
  out += p;
  return out;
}
