#include "pe_image.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

#include "zip/byte_reader.h"

namespace {

constexpr char kPeSignature[] = {'P', 'E', 0, 0};
// Resource data is placed at multiples of 8, as the resource compilers place it.
constexpr size_t kResourceDataAlignment = 8;

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
  return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

std::u16string Upper(const std::u16string& s) {
  std::u16string out = s;
  for (char16_t& c : out) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  return out;
}

}  // namespace

bool ResourceId::operator<(const ResourceId& o) const {
  if (named != o.named) return named;
  return named ? Upper(name) < Upper(o.name) : id < o.id;
}

const Resource* FindResource(const std::vector<Resource>& resources, uint16_t type, uint16_t name) {
  for (const Resource& r : resources) {
    if (r.type == ResourceId::Number(type) && r.name == ResourceId::Number(name)) return &r;
  }
  return nullptr;
}

bool PeImage::fileOffset(uint32_t rva, uint32_t size, size_t* offset) const {
  for (const Section& s : sections_) {
    uint64_t span = std::max(s.virtualSize, s.rawSize);
    if (rva >= s.virtualAddress && uint64_t(rva) + size <= s.virtualAddress + span &&
        uint64_t(rva - s.virtualAddress) + size <= s.rawSize &&
        uint64_t(s.rawPointer) + s.rawSize <= file_.size()) {
      *offset = s.rawPointer + (rva - s.virtualAddress);
      return true;
    }
  }
  return false;
}

size_t PeImage::directory(size_t index) const {
  return index < directoryCount_ ? directories_ + index * kDataDirectorySize : 0;
}

bool PeImage::parse(const std::vector<uint8_t>& file, std::string* error) {
  file_ = file;
  sections_.clear();
  resources.clear();
  auto refuse = [&](const std::string& why) {
    *error = "not a Windows program that the builder can rewrite: " + why;
    return false;
  };
  if (file.size() < kDosNewHeaderOffset + 4 || file[0] != 'M' || file[1] != 'Z') {
    return refuse("no MZ header");
  }
  size_t pe = le32(&file[kDosNewHeaderOffset]);
  if (pe > file.size() || file.size() - pe < 4 + kCoffHeaderSize ||
      !std::equal(kPeSignature, kPeSignature + 4, file.begin() + pe)) {
    return refuse("no PE header");
  }
  size_t coff = pe + 4;
  size_t sectionCount = le16(&file[coff + kCoffSectionCount]);
  size_t optionalSize = le16(&file[coff + kCoffOptionalSize]);
  optional_ = coff + kCoffHeaderSize;
  sectionTable_ = optional_ + optionalSize;
  if (sectionTable_ + sectionCount * kSectionHeaderSize > file.size() || optionalSize < 2) {
    return refuse("headers cut short");
  }
  uint16_t magic = le16(&file[optional_]);
  if (magic != kOptionalMagicPe32 && magic != kOptionalMagicPe32Plus) {
    return refuse("unknown optional header");
  }
  size_t countAt = kOptionalDirectoryCount + (magic == kOptionalMagicPe32Plus ? kOptionalPlusExtra : 0);
  if (optionalSize < countAt + 4) return refuse("optional header cut short");
  directories_ = optional_ + countAt + 4;
  directoryCount_ = std::min<size_t>(le32(&file[optional_ + countAt]),
                                     (optionalSize - countAt - 4) / kDataDirectorySize);
  for (size_t i = 0; i < sectionCount; ++i) {
    const uint8_t* h = &file[sectionTable_ + i * kSectionHeaderSize];
    Section s;
    s.name.assign(reinterpret_cast<const char*>(h), strnlen(reinterpret_cast<const char*>(h), 8));
    s.virtualSize = le32(h + kSectionVirtualSize);
    s.virtualAddress = le32(h + kSectionVirtualAddress);
    s.rawSize = le32(h + kSectionRawSize);
    s.rawPointer = le32(h + kSectionRawPointer);
    sections_.push_back(s);
  }
  size_t resourceDirectory = directory(kDirectoryResources);
  if (!resourceDirectory) return refuse("no resource directory");
  uint32_t rva = le32(&file[resourceDirectory]);
  resourceSection_ = sections_.size();
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (sections_[i].virtualAddress == rva) resourceSection_ = i;
  }
  if (rva == 0 || resourceSection_ == sections_.size()) {
    return refuse("the resources do not start a section of their own");
  }
  const Section& section = sections_[resourceSection_];
  if (uint64_t(section.rawPointer) + section.rawSize > file.size()) {
    return refuse("the resource section runs past the file");
  }
  const uint8_t* base = &file[section.rawPointer];
  const size_t limit = std::min(section.rawSize, section.virtualSize ? section.virtualSize : section.rawSize);

  // The tree is ours (the stub's), but it is walked with every offset checked all the same: a
  // stub named with --stub may be anything.
  std::vector<ResourceId> path;
  bool damaged = false;
  auto idOf = [&](uint32_t field, ResourceId* id) {
    if (!(field & kResourceHighBit)) {
      *id = ResourceId::Number(static_cast<uint16_t>(field));
      return field <= 0xFFFF;
    }
    size_t at = field & ~kResourceHighBit;
    if (at + 2 > limit) return false;
    size_t length = le16(base + at);
    if (at + 2 + 2 * length > limit) return false;
    id->named = true;
    id->name.clear();
    for (size_t k = 0; k < length; ++k) id->name.push_back(static_cast<char16_t>(le16(base + at + 2 + 2 * k)));
    return true;
  };
  std::function<void(size_t, int)> walk = [&](size_t at, int depth) {
    if (damaged) return;
    if (at + kResourceDirectorySize > limit) {
      damaged = true;
      return;
    }
    size_t count = size_t(le16(base + at + 12)) + le16(base + at + 14);
    if (at + kResourceDirectorySize + count * kResourceDirectoryEntrySize > limit) {
      damaged = true;
      return;
    }
    for (size_t k = 0; k < count && !damaged; ++k) {
      const uint8_t* entry = base + at + kResourceDirectorySize + k * kResourceDirectoryEntrySize;
      ResourceId id;
      uint32_t target = le32(entry + 4);
      if (!idOf(le32(entry), &id) || (depth < 2) != bool(target & kResourceHighBit)) {
        damaged = true;
        return;
      }
      path.push_back(id);
      if (depth < 2) {
        walk(target & ~kResourceHighBit, depth + 1);
      } else if (target + kResourceDataEntrySize > limit) {
        damaged = true;
      } else {
        Resource r{path[0], path[1], path[2], le32(base + target + 8), {}};
        size_t from = 0;
        uint32_t size = le32(base + target + 4);
        if (!fileOffset(le32(base + target), size, &from)) {
          damaged = true;
        } else {
          r.data.assign(file.begin() + from, file.begin() + from + size);
          resources.push_back(std::move(r));
        }
      }
      path.pop_back();
    }
  };
  walk(0, 0);
  if (damaged) return refuse("its resource tree is damaged");
  return true;
}

namespace {

// The new resource section: every directory first (root, types, names), then the data entries,
// then the names, then the data, each at offsets fixed before anything is written.
std::vector<uint8_t> LayoutResources(std::vector<Resource> resources, uint32_t sectionRva) {
  using Languages = std::map<ResourceId, const Resource*>;
  using Names = std::map<ResourceId, Languages>;
  std::map<ResourceId, Names> tree;
  for (const Resource& r : resources) tree[r.type][r.name][r.language] = &r;

  size_t directoriesSize = kResourceDirectorySize + tree.size() * kResourceDirectoryEntrySize;
  size_t dataEntries = 0;
  std::vector<std::u16string> names;
  auto addName = [&](const ResourceId& id) {
    if (id.named) names.push_back(id.name);
  };
  for (const auto& [type, byName] : tree) {
    addName(type);
    directoriesSize += kResourceDirectorySize + byName.size() * kResourceDirectoryEntrySize;
    for (const auto& [name, byLanguage] : byName) {
      addName(name);
      directoriesSize += kResourceDirectorySize + byLanguage.size() * kResourceDirectoryEntrySize;
      for (const auto& language : byLanguage) addName(language.first);
      dataEntries += byLanguage.size();
    }
  }
  const size_t entriesAt = directoriesSize;
  const size_t namesAt = entriesAt + dataEntries * kResourceDataEntrySize;
  size_t namesSize = 0;
  for (const std::u16string& n : names) namesSize += 2 + 2 * n.size();
  size_t dataAt = namesAt + namesSize;
  dataAt = (dataAt + kResourceDataAlignment - 1) / kResourceDataAlignment * kResourceDataAlignment;
  size_t total = dataAt;
  for (const Resource& r : resources) {
    total += (r.data.size() + kResourceDataAlignment - 1) / kResourceDataAlignment * kResourceDataAlignment;
  }
  std::vector<uint8_t> out(total, 0);

  size_t nextDirectory = 0, nextEntry = entriesAt, nextName = namesAt, nextData = dataAt;
  auto nameField = [&](const ResourceId& id) -> uint32_t {
    if (!id.named) return id.id;
    uint32_t at = static_cast<uint32_t>(nextName);
    putLe16(&out[nextName], static_cast<uint16_t>(id.name.size()));
    for (size_t k = 0; k < id.name.size(); ++k) putLe16(&out[nextName + 2 + 2 * k], id.name[k]);
    nextName += 2 + 2 * id.name.size();
    return at | kResourceHighBit;
  };
  // A directory's header at nextDirectory; returns where its entries go.
  auto openDirectory = [&](size_t named, size_t ids) {
    size_t at = nextDirectory;
    putLe16(&out[at + 12], static_cast<uint16_t>(named));
    putLe16(&out[at + 14], static_cast<uint16_t>(ids));
    nextDirectory += kResourceDirectorySize + (named + ids) * kResourceDirectoryEntrySize;
    return at + kResourceDirectorySize;
  };
  auto counts = [](const auto& map, size_t* named) {
    *named = 0;
    for (const auto& item : map) *named += item.first.named ? 1 : 0;
    return map.size() - *named;
  };
  // Breadth first: the root's entries point at type directories laid out after it, and so on.
  size_t named = 0;
  size_t ids = counts(tree, &named);
  size_t rootEntries = openDirectory(named, ids);
  std::vector<std::pair<size_t, const Names*>> typeLevel;
  for (const auto& [type, byName] : tree) {
    putLe32(&out[rootEntries], nameField(type));
    typeLevel.push_back({rootEntries + 4, &byName});
    rootEntries += kResourceDirectoryEntrySize;
  }
  std::vector<std::pair<size_t, const Languages*>> nameLevel;
  for (auto& [slot, byName] : typeLevel) {
    putLe32(&out[slot], static_cast<uint32_t>(nextDirectory) | kResourceHighBit);
    ids = counts(*byName, &named);
    size_t entries = openDirectory(named, ids);
    for (const auto& [name, byLanguage] : *byName) {
      putLe32(&out[entries], nameField(name));
      nameLevel.push_back({entries + 4, &byLanguage});
      entries += kResourceDirectoryEntrySize;
    }
  }
  for (auto& [slot, byLanguage] : nameLevel) {
    putLe32(&out[slot], static_cast<uint32_t>(nextDirectory) | kResourceHighBit);
    ids = counts(*byLanguage, &named);
    size_t entries = openDirectory(named, ids);
    for (const auto& [language, resource] : *byLanguage) {
      putLe32(&out[entries], nameField(language));
      putLe32(&out[entries + 4], static_cast<uint32_t>(nextEntry));
      putLe32(&out[nextEntry], sectionRva + static_cast<uint32_t>(nextData));
      putLe32(&out[nextEntry + 4], static_cast<uint32_t>(resource->data.size()));
      putLe32(&out[nextEntry + 8], resource->codePage);
      std::copy(resource->data.begin(), resource->data.end(), out.begin() + nextData);
      nextData += (resource->data.size() + kResourceDataAlignment - 1) / kResourceDataAlignment *
                  kResourceDataAlignment;
      nextEntry += kResourceDataEntrySize;
      entries += kResourceDirectoryEntrySize;
    }
  }
  return out;
}

}  // namespace

bool PeImage::rebuild(std::vector<uint8_t>* out, std::string* error) const {
  size_t certificates = directory(kDirectoryCertificates);
  if (certificates && le32(&file_[certificates + 4]) != 0) {
    *error = "the stub carries an Authenticode signature, which a change of its resources would "
             "break; name an unsigned stub and sign the result instead";
    return false;
  }
  const Section& section = sections_[resourceSection_];
  // Only sections that nothing but a data directory points at may move: the relocations.
  size_t relocations = directory(kDirectoryRelocations);
  for (size_t i = resourceSection_ + 1; i < sections_.size(); ++i) {
    bool isRelocations = relocations && le32(&file_[relocations]) == sections_[i].virtualAddress;
    if (!isRelocations || sections_[i].virtualAddress < section.virtualAddress) {
      *error = "the stub's resource section is followed by " + sections_[i].name +
               ", which the builder cannot move";
      return false;
    }
  }
  const uint32_t fileAlignment = le32(&file_[optional_ + kOptionalFileAlignment]);
  const uint32_t sectionAlignment = le32(&file_[optional_ + kOptionalSectionAlignment]);
  std::vector<uint8_t> tree = LayoutResources(resources, section.virtualAddress);
  uint32_t treeSize = static_cast<uint32_t>(tree.size());
  uint32_t rawSize = AlignUp(treeSize, fileAlignment);
  tree.resize(rawSize, 0);

  // What lies after the last section's data (symbols of an unstripped program) is kept after it.
  uint64_t end = 0;
  for (const Section& s : sections_) end = std::max<uint64_t>(end, uint64_t(s.rawPointer) + s.rawSize);
  if (end > file_.size() || section.rawPointer == 0) {
    *error = "the stub's sections run past its end";
    return false;
  }
  out->assign(file_.begin(), file_.begin() + section.rawPointer);
  out->insert(out->end(), tree.begin(), tree.end());
  int64_t rawShift = int64_t(rawSize) - int64_t(section.rawSize);
  uint32_t nextRva = AlignUp(section.virtualAddress + treeSize, sectionAlignment);
  uint32_t imageEnd = nextRva;
  auto header = [&](size_t i) { return &(*out)[sectionTable_ + i * kSectionHeaderSize]; };
  putLe32(header(resourceSection_) + kSectionVirtualSize, treeSize);
  putLe32(header(resourceSection_) + kSectionRawSize, rawSize);
  for (size_t i = resourceSection_ + 1; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    putLe32(header(i) + kSectionVirtualAddress, nextRva);
    if (s.rawPointer) putLe32(header(i) + kSectionRawPointer, static_cast<uint32_t>(out->size()));
    putLe32(&(*out)[relocations], nextRva);
    out->insert(out->end(), file_.begin() + s.rawPointer, file_.begin() + s.rawPointer + s.rawSize);
    nextRva = AlignUp(nextRva + std::max(s.virtualSize, s.rawSize), sectionAlignment);
    imageEnd = nextRva;
  }
  out->insert(out->end(), file_.begin() + static_cast<std::ptrdiff_t>(end), file_.end());

  uint8_t* optional = &(*out)[optional_];
  putLe32(optional + kOptionalImageSize, imageEnd);
  putLe32(optional + kOptionalInitializedData,
          static_cast<uint32_t>(le32(optional + kOptionalInitializedData) + rawShift));
  size_t resourceDirectory = directory(kDirectoryResources);
  putLe32(&(*out)[resourceDirectory + 4], treeSize);
  uint8_t* symbols = &(*out)[optional_ - kCoffHeaderSize + kCoffSymbolTable];
  if (le32(symbols) >= end) putLe32(symbols, static_cast<uint32_t>(le32(symbols) + rawShift));

  PeChecksum sum(checksumOffset());
  sum.add(out->data(), out->size());
  putLe32(optional + kOptionalChecksum, sum.value());
  return true;
}

void PeChecksum::addByte(uint8_t byte) {
  if (pendingLow_ < 0) {
    pendingLow_ = byte;
  } else {
    sum_ += static_cast<uint32_t>(pendingLow_ | (byte << 8));
    pendingLow_ = -1;
  }
  ++position_;
}

// Words are summed without folding (a 64-bit sum holds far more words than a 4 GiB file has)
// and folded once at the end: the same one's-complement sum, at the speed of the copy.
void PeChecksum::add(const uint8_t* data, size_t size) {
  size_t i = 0;
  while (i < size) {
    const bool inField = position_ >= skip_ && position_ < skip_ + 4;
    size_t run = size - i;
    if (position_ < skip_) run = std::min<uint64_t>(run, skip_ - position_);
    run &= ~size_t(1);
    if (inField || pendingLow_ >= 0 || run == 0) {
      addByte(inField ? 0 : data[i]);
      ++i;
      continue;
    }
    const uint8_t* p = data + i;
    uint64_t sum = 0;
    for (size_t k = 0; k < run; k += 2) sum += static_cast<uint32_t>(p[k] | (p[k + 1] << 8));
    sum_ += sum;
    i += run;
    position_ += run;
  }
}

uint32_t PeChecksum::value() const {
  uint64_t sum = sum_ + (pendingLow_ >= 0 ? static_cast<uint32_t>(pendingLow_) : 0);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + position_);
}
