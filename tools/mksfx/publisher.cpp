#include "publisher.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "fs/codepage.h"
#include "report/string_ids.h"
#include "resources/resource_ids.h"
#include "zip/byte_reader.h"

namespace {

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The language of a resource the stub did not have: that of the stub's own resources.
constexpr uint16_t kDefaultResourceLanguage = 0x0409;

std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    uint32_t c = 0;
    size_t n = DecodeUtf8(utf8.data(), utf8.size(), i, &c);
    if (n == 0) {
      c = 0xFFFD;
      n = 1;
    }
    i += n;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    char buffer[4];
    out.append(buffer, EncodeUtf8(c, buffer));
  }
  return out;
}

void PutUtf16(std::vector<uint8_t>* out, const std::u16string& text) {
  for (char16_t c : text) {
    out->push_back(static_cast<uint8_t>(c));
    out->push_back(static_cast<uint8_t>(c >> 8));
  }
}

// --- version information ------------------------------------------------------------------

struct VersionNode {
  std::u16string key;
  uint16_t type = 1;  // 1: text (or none), 0: binary
  uint16_t valueLength = 0;  // in characters for text, in bytes for binary
  std::vector<uint8_t> value;
  std::vector<VersionNode> children;
};

void Align4(std::vector<uint8_t>* out) { out->resize((out->size() + 3) / 4 * 4, 0); }

void WriteNode(const VersionNode& node, std::vector<uint8_t>* out) {
  size_t start = out->size();
  out->resize(start + 6, 0);
  PutUtf16(out, node.key);
  PutUtf16(out, std::u16string(1, u'\0'));
  Align4(out);
  out->insert(out->end(), node.value.begin(), node.value.end());
  for (const VersionNode& child : node.children) {
    Align4(out);
    WriteNode(child, out);
  }
  putLe16(&(*out)[start], static_cast<uint16_t>(out->size() - start));
  putLe16(&(*out)[start + 2], node.valueLength);
  putLe16(&(*out)[start + 4], node.type);
}

VersionNode TextNode(const char16_t* key, const std::string& value) {
  VersionNode node;
  node.key = key;
  std::u16string text = Utf16(value);
  text.push_back(u'\0');
  PutUtf16(&node.value, text);
  node.valueLength = static_cast<uint16_t>(text.size());
  return node;
}

std::string VersionText(const uint16_t v[4]) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
         std::to_string(v[3]);
}

// The publisher's version information: the numbers given (either stands for the other when one
// is missing) and the texts given; the original name is the output's unless named.
std::vector<uint8_t> MakeVersionInfo(const PublisherOptions& o, const std::string& outputName) {
  uint16_t file[4] = {}, product[4] = {};
  if (o.fileVersion) ParseVersionNumber(*o.fileVersion, file);
  if (o.productVersion) ParseVersionNumber(*o.productVersion, product);
  if (!o.fileVersion && o.productVersion) std::copy(product, product + 4, file);
  if (!o.productVersion && o.fileVersion) std::copy(file, file + 4, product);
  const bool numbered = o.fileVersion || o.productVersion;

  VersionNode root;
  root.key = u"VS_VERSION_INFO";
  root.type = 0;
  root.valueLength = kFixedFileInfoSize;
  root.value.resize(kFixedFileInfoSize, 0);
  uint8_t* fixed = root.value.data();
  putLe32(fixed + 0, kFixedFileInfoSignature);
  putLe32(fixed + 4, kFixedFileInfoVersion);
  putLe32(fixed + 8, uint32_t(file[0]) << 16 | file[1]);
  putLe32(fixed + 12, uint32_t(file[2]) << 16 | file[3]);
  putLe32(fixed + 16, uint32_t(product[0]) << 16 | product[1]);
  putLe32(fixed + 20, uint32_t(product[2]) << 16 | product[3]);
  putLe32(fixed + 24, kFileFlagsMask);
  putLe32(fixed + 32, kFileOsNtWindows32);
  putLe32(fixed + 36, kFileTypeApplication);

  VersionNode table;
  char key[9];
  std::snprintf(key, sizeof key, "%04X%04X", kVersionLanguage, kVersionCodePage);
  table.key = Utf16(key);
  auto add = [&](const char16_t* name, const std::optional<std::string>& value) {
    if (value) table.children.push_back(TextNode(name, *value));
  };
  add(u"CompanyName", o.company);
  add(u"FileDescription", o.description);
  if (numbered) add(u"FileVersion", VersionText(file));
  add(u"LegalCopyright", o.copyright);
  add(u"OriginalFilename", o.originalName ? o.originalName : outputName);
  add(u"ProductName", o.productName);
  if (numbered) add(u"ProductVersion", VersionText(product));
  VersionNode strings;
  strings.key = u"StringFileInfo";
  strings.children.push_back(table);

  VersionNode translation;
  translation.key = u"Translation";
  translation.type = 0;
  translation.valueLength = 4;
  translation.value.resize(4);
  putLe16(&translation.value[0], kVersionLanguage);
  putLe16(&translation.value[2], kVersionCodePage);
  VersionNode variables;
  variables.key = u"VarFileInfo";
  variables.children.push_back(translation);

  root.children = {strings, variables};
  std::vector<uint8_t> out;
  WriteNode(root, &out);
  return out;
}

// One node read back: its key, value and children's span.
struct ReadNode {
  std::u16string key;
  uint16_t type = 0, valueLength = 0;
  const uint8_t* value = nullptr;
  size_t valueSize = 0;
  const uint8_t* children = nullptr;
  size_t childrenSize = 0;
};

bool ReadVersionNode(const uint8_t* data, size_t size, ReadNode* node, size_t* length) {
  if (size < 6) return false;
  *length = le16(data);
  if (*length < 6 || *length > size) return false;
  node->valueLength = le16(data + 2);
  node->type = le16(data + 4);
  size_t at = 6;
  node->key.clear();
  while (at + 2 <= *length && le16(data + at)) {
    node->key.push_back(static_cast<char16_t>(le16(data + at)));
    at += 2;
  }
  at = (at + 2 + 3) / 4 * 4;
  size_t valueSize = node->type == 1 ? size_t(node->valueLength) * 2 : node->valueLength;
  if (at > *length || valueSize > *length - at) return false;
  node->value = data + at;
  node->valueSize = valueSize;
  at = (at + valueSize + 3) / 4 * 4;
  node->children = data + std::min<size_t>(at, *length);
  node->childrenSize = *length - std::min<size_t>(at, *length);
  return true;
}

template <typename Visit>
void ForEachChild(const ReadNode& parent, Visit visit) {
  const uint8_t* p = parent.children;
  size_t left = parent.childrenSize;
  while (left >= 6) {
    ReadNode child;
    size_t length = 0;
    if (!ReadVersionNode(p, left, &child, &length)) return;
    visit(child);
    size_t step = std::min(left, (length + 3) / 4 * 4);
    p += step;
    left -= step;
  }
}

std::string DescribeVersion(const std::vector<uint8_t>& data) {
  ReadNode root;
  size_t length = 0;
  if (!ReadVersionNode(data.data(), data.size(), &root, &length) || root.valueSize < kFixedFileInfoSize ||
      le32(root.value) != kFixedFileInfoSignature) {
    return "version information: damaged\n";
  }
  auto number = [](uint32_t ms, uint32_t ls) {
    uint16_t v[4] = {uint16_t(ms >> 16), uint16_t(ms), uint16_t(ls >> 16), uint16_t(ls)};
    return VersionText(v);
  };
  std::string out = "version information: file " + number(le32(root.value + 8), le32(root.value + 12)) +
                    ", product " + number(le32(root.value + 16), le32(root.value + 20)) + "\n";
  ForEachChild(root, [&](const ReadNode& block) {
    if (block.key != u"StringFileInfo") return;
    ForEachChild(block, [&](const ReadNode& table) {
      out += "  strings " + Utf8(table.key) + ":\n";
      ForEachChild(table, [&](const ReadNode& text) {
        std::u16string value;
        for (size_t k = 0; k + 1 < text.valueSize; k += 2) {
          char16_t c = static_cast<char16_t>(le16(text.value + k));
          if (!c) break;
          value.push_back(c);
        }
        std::string name = Utf8(text.key) + ":";
        name.resize(std::max<size_t>(name.size(), 18), ' ');
        out += "    " + name + Utf8(value) + "\n";
      });
    });
  });
  return out;
}

// --- icon -----------------------------------------------------------------------------------

void ReplaceIcon(const std::vector<IconImage>& images, std::vector<Resource>* resources) {
  // The group the program shows is ours (3); a stub named with --stub may have another first.
  const Resource* group = FindResource(*resources, kResourceGroupIcon, IDI_PROGRAM);
  for (const Resource& r : *resources) {
    if (!group && r.type == ResourceId::Number(kResourceGroupIcon)) group = &r;
  }
  ResourceId groupName = group ? group->name : ResourceId::Number(IDI_PROGRAM);
  ResourceId language = group ? group->language : ResourceId::Number(kDefaultResourceLanguage);
  std::set<uint16_t> old;
  if (group) {
    ByteReader header(group->data.data(), group->data.size());
    header.u32();
    uint16_t count = header.u16();
    for (uint16_t k = 0; k < count && !header.failed(); ++k) {
      ByteReader entry = header.sub(kGroupEntrySize);
      entry.sub(kGroupEntrySize - 2);
      if (!entry.failed()) old.insert(entry.u16());
    }
  }
  std::set<uint16_t> kept;
  std::vector<Resource> left;
  for (Resource& r : *resources) {
    bool oldImage = r.type == ResourceId::Number(kResourceIcon) && !r.name.named && old.count(r.name.id);
    bool oldGroup = r.type == ResourceId::Number(kResourceGroupIcon) && r.name == groupName;
    if (oldImage || oldGroup) continue;
    if (r.type == ResourceId::Number(kResourceIcon) && !r.name.named) kept.insert(r.name.id);
    left.push_back(std::move(r));
  }
  Resource newGroup{ResourceId::Number(kResourceGroupIcon), groupName, language, 0, {}};
  newGroup.data.resize(kIconHeaderSize + images.size() * kGroupEntrySize, 0);
  putLe16(&newGroup.data[2], kIconType);
  putLe16(&newGroup.data[4], static_cast<uint16_t>(images.size()));
  uint16_t id = 0;
  for (size_t k = 0; k < images.size(); ++k) {
    do ++id; while (kept.count(id));
    const IconImage& image = images[k];
    uint8_t* entry = &newGroup.data[kIconHeaderSize + k * kGroupEntrySize];
    entry[0] = image.width;
    entry[1] = image.height;
    entry[2] = image.colors;
    putLe16(entry + 4, image.planes);
    putLe16(entry + 6, image.bits);
    putLe32(entry + 8, static_cast<uint32_t>(image.data.size()));
    putLe16(entry + 12, id);
    left.push_back(Resource{ResourceId::Number(kResourceIcon), ResourceId::Number(id), language, 0, image.data});
  }
  left.push_back(std::move(newGroup));
  *resources = std::move(left);
}

// --- title ----------------------------------------------------------------------------------

// A block of the string table: 16 strings, each a u16 length and that many 16-bit characters.
std::vector<std::u16string> ReadStringBlock(const std::vector<uint8_t>& data) {
  std::vector<std::u16string> strings(kStringsPerBlock);
  size_t at = 0;
  for (auto& s : strings) {
    if (at + 2 > data.size()) break;
    size_t length = le16(&data[at]);
    at += 2;
    for (size_t k = 0; k < length && at + 2 <= data.size(); ++k, at += 2) {
      s.push_back(static_cast<char16_t>(le16(&data[at])));
    }
  }
  return strings;
}

void SetTitle(const std::string& title, std::vector<Resource>* resources) {
  const uint16_t block = IDS_TITLE / kStringsPerBlock + 1;
  ResourceId language = ResourceId::Number(kDefaultResourceLanguage);
  Resource* found = nullptr;
  for (Resource& r : *resources) {
    if (r.type != ResourceId::Number(kResourceString)) continue;
    language = r.language;
    if (r.name == ResourceId::Number(block)) found = &r;
  }
  if (!found) {
    resources->push_back(Resource{ResourceId::Number(kResourceString), ResourceId::Number(block), language, 0, {}});
    found = &resources->back();
  }
  std::vector<std::u16string> strings = ReadStringBlock(found->data);
  strings[IDS_TITLE % kStringsPerBlock] = Utf16(title);
  found->data.clear();
  for (const std::u16string& s : strings) {
    found->data.push_back(static_cast<uint8_t>(s.size()));
    found->data.push_back(static_cast<uint8_t>(s.size() >> 8));
    PutUtf16(&found->data, s);
  }
}

}  // namespace

bool ParseVersionNumber(const std::string& text, uint16_t parts[4]) {
  size_t at = 0;
  for (int k = 0; k < 4; ++k) {
    if (k > 0 && (at >= text.size() || text[at++] != '.')) return false;
    size_t digits = 0;
    uint32_t value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 6) {
      value = value * 10 + uint32_t(text[at++] - '0');
      ++digits;
    }
    if (digits == 0 || value > 0xFFFF) return false;
    parts[k] = static_cast<uint16_t>(value);
  }
  return at == text.size();
}

bool ReadIconFile(const std::string& path, std::vector<IconImage>* images, std::string* error) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in) {
    *error = path + ": cannot open the icon";
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto refuse = [&](const std::string& why) {
    *error = path + ": not an icon file (.ico): " + why;
    return false;
  };
  if (bytes.size() < kIconHeaderSize || le16(&bytes[0]) != 0 || le16(&bytes[2]) != kIconType) {
    return refuse("no icon header");
  }
  size_t count = le16(&bytes[4]);
  if (count == 0) return refuse("it holds no image");
  if (kIconHeaderSize + count * kIconEntrySize > bytes.size()) return refuse("its directory is cut short");
  images->clear();
  for (size_t k = 0; k < count; ++k) {
    const uint8_t* entry = &bytes[kIconHeaderSize + k * kIconEntrySize];
    uint32_t size = le32(entry + 8), offset = le32(entry + 12);
    if (size == 0 || offset > bytes.size() || size > bytes.size() - offset) {
      return refuse("image " + std::to_string(k + 1) + " lies outside the file");
    }
    const uint8_t* image = &bytes[offset];
    bool png = size >= sizeof kPngSignature && std::equal(kPngSignature, kPngSignature + 8, image);
    bool bitmap = size >= kBitmapHeaderSize && le32(image) == kBitmapHeaderSize;
    if (!png && !bitmap) return refuse("image " + std::to_string(k + 1) + " is neither a PNG nor a bitmap");
    images->push_back(IconImage{entry[0], entry[1], entry[2], le16(entry + 4), le16(entry + 6),
                                std::vector<uint8_t>(image, image + size)});
  }
  return true;
}

bool ApplyPublisher(const PublisherOptions& options, const std::string& outputName,
                    std::vector<uint8_t>* stub, std::string* error) {
  if (!options.any()) return true;
  std::vector<IconImage> images;
  if (!options.icon.empty() && !ReadIconFile(options.icon, &images, error)) return false;
  PeImage image;
  if (!image.parse(*stub, error)) return false;
  if (!images.empty()) ReplaceIcon(images, &image.resources);
  if (options.versionGiven()) {
    ResourceId language = ResourceId::Number(kDefaultResourceLanguage);
    std::vector<Resource> left;
    for (Resource& r : image.resources) {
      if (r.type == ResourceId::Number(kResourceVersion)) {
        language = r.language;
      } else {
        left.push_back(std::move(r));
      }
    }
    left.push_back(Resource{ResourceId::Number(kResourceVersion), ResourceId::Number(1), language, 0,
                            MakeVersionInfo(options, outputName)});
    image.resources = std::move(left);
  }
  if (options.title) SetTitle(*options.title, &image.resources);
  std::vector<uint8_t> rebuilt;
  if (!image.rebuild(&rebuilt, error)) return false;
  *stub = std::move(rebuilt);
  return true;
}

std::string DescribePublisher(const std::vector<uint8_t>& program) {
  PeImage image;
  std::string ignored;
  if (!image.parse(program, &ignored)) return "resources: none readable\n";
  std::string out;
  const Resource* version = nullptr;
  for (const Resource& r : image.resources) {
    if (r.type == ResourceId::Number(kResourceVersion)) version = &r;
  }
  out += version ? DescribeVersion(version->data) : "version information: none\n";

  std::u16string title;
  if (const Resource* block = FindResource(image.resources, kResourceString, IDS_TITLE / kStringsPerBlock + 1)) {
    title = ReadStringBlock(block->data)[IDS_TITLE % kStringsPerBlock];
  }
  out += title.empty() ? "title: none (\"VESPA® - \" and the archive's path)\n"
                       : "title: " + Utf8(title) + "\n";

  const Resource* group = FindResource(image.resources, kResourceGroupIcon, IDI_PROGRAM);
  for (const Resource& r : image.resources) {
    if (!group && r.type == ResourceId::Number(kResourceGroupIcon)) group = &r;
  }
  if (group && group->data.size() >= kIconHeaderSize) {
    size_t count = le16(&group->data[4]);
    out += "icon: " + std::to_string(count) + (count == 1 ? " image:" : " images:");
    for (size_t k = 0; k < count && kIconHeaderSize + (k + 1) * kGroupEntrySize <= group->data.size(); ++k) {
      const uint8_t* entry = &group->data[kIconHeaderSize + k * kGroupEntrySize];
      out += " " + std::to_string(entry[0] ? entry[0] : 256) + "x" + std::to_string(entry[1] ? entry[1] : 256) +
             "/" + std::to_string(le16(entry + 6));
    }
    out += "\n";
  } else {
    out += "icon: none\n";
  }
  return out;
}
