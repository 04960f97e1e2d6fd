#include "input_tree.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "entry_name.h"
#include "fs/name_key.h"

namespace fs = std::filesystem;

namespace {

std::string Number(uint64_t v) { return std::to_string(v); }

bool Glob(const char* p, const char* t) {
  for (; *p; ++p, ++t) {
    if (*p == '*') {
      while (p[1] == '*') ++p;
      for (const char* s = t;; ++s) {
        if (Glob(p + 1, s)) return true;
        if (*s == 0 || *s == '/') return false;
      }
    }
    if (*t == 0 || *t == '/') return *t == '/' && *p == '/' && Glob(p + 1, t + 1);
    if (*p == '?') {
      // One character, which UTF-8 may spell in several bytes.
      while ((static_cast<unsigned char>(t[1]) & 0xC0) == 0x80) ++t;
      continue;
    }
    if (*p == '[') {
      const char* q = p + 1;
      bool negate = *q == '!' || *q == '^';
      if (negate) ++q;
      bool found = false;
      const char* start = q;
      for (; *q && (*q != ']' || q == start); ++q) {
        if (q[1] == '-' && q[2] && q[2] != ']') {
          if (*t >= q[0] && *t <= q[2]) found = true;
          q += 2;
        } else if (*q == *t) {
          found = true;
        }
      }
      if (*q != ']') {  // no closing bracket: an ordinary character
        if (*t != '[') return false;
        continue;
      }
      if (found == negate) return false;
      p = q;
      continue;
    }
    if (*p != *t) return false;
  }
  return *t == 0;
}

// Case as Windows ignores it (the case rule of fs/name_key.h): two names that differ only so
// would be one file there. The text returned only serves to compare.
std::string Folded(const std::string& name) {
  std::string folded;
  const unsigned char* at = reinterpret_cast<const unsigned char*>(name.data());
  const unsigned char* end = at + name.size();
  while (at < end) {
    const uint32_t key = UpperNameKey(NextNameKey(&at, end));
    if (key < 0x80) {
      folded.push_back(static_cast<char>(key));
    } else {
      folded.push_back('\x7f');  // then the key's three bytes
      folded.push_back(static_cast<char>(key >> 16));
      folded.push_back(static_cast<char>(key >> 8));
      folded.push_back(static_cast<char>(key));
    }
  }
  return folded;
}

bool Inside(const fs::path& path, const fs::path& root) {
  auto p = path.begin(), r = root.begin();
  for (; r != root.end(); ++p, ++r) {
    if (p == path.end() || *p != *r) return false;
  }
  return true;
}

class Walker {
 public:
  Walker(const CollectOptions& options, CollectResult* result) : options_(options), result_(result) {}

  std::string topFile(const fs::path& path) {
    return addFile(path, path.filename().u8string());
  }

  std::string topFolder(const fs::path& path) {
    std::error_code ec;
    root_ = fs::canonical(path, ec);
    if (ec) return path.u8string() + ": " + ec.message();
    rootShown_ = path.u8string();
    std::vector<fs::path> ancestors{root_};
    return walk(path, "", &ancestors);
  }

 private:
  bool excluded(const std::string& name) {
    for (const std::string& pattern : options_.excludes) {
      if (ExcludedBy(pattern, name)) return true;
    }
    return false;
  }

  std::string addFile(const fs::path& path, const std::string& name) {
    if (excluded(name)) return "";
    std::error_code ec;
    if (!options_.output.empty() && fs::equivalent(path, options_.output, ec)) {
      return path.u8string() + ": this is the output being made; a build never replaces its input";
    }
    InputItem item;
    item.name = name;
    item.path = path;
    item.size = fs::file_size(path, ec);
    if (ec) return path.u8string() + ": " + ec.message();
    if (item.size > kMaxEntrySize) {
      return path.u8string() + ": " + Number(item.size) +
             " bytes: too large for any archive";
    }
    std::string problem = StampOf(path, &item.stamp);
    if (!problem.empty()) return path.u8string() + ": " + problem;
    result_->totalBytes += item.size;
    result_->items.push_back(item);
    return "";
  }

  std::string walk(const fs::path& folder, const std::string& prefix,
                   std::vector<fs::path>* ancestors) {
    std::error_code ec;
    std::vector<fs::path> children;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      children.push_back(it->path());
    }
    if (ec) return folder.u8string() + ": " + ec.message();
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
      std::string name = prefix + child.filename().u8string();
      if (excluded(name)) continue;
      fs::file_status link = fs::symlink_status(child, ec);
      if (ec) return child.u8string() + ": " + ec.message();
      if (fs::is_symlink(link)) {
        fs::path target = fs::canonical(child, ec);
        if (ec || !Inside(target, root_)) {
          std::string why = ec ? "a symbolic link that leads nowhere"
                               : "a symbolic link to " + target.u8string() + ", outside " + rootShown_;
          if (options_.skipLinks) {
            result_->skipped.push_back(name + ": " + why + "; left out");
            continue;
          }
          return child.u8string() + ": " + why +
                 "; leave such links out with --skip-links, or this one with --exclude";
        }
        if (fs::is_directory(target, ec) &&
            std::find(ancestors->begin(), ancestors->end(), target) != ancestors->end()) {
          return child.u8string() + ": a symbolic link to a folder that holds it (" +
                 target.u8string() + "); the walk would never end";
        }
      }
      fs::file_status status = fs::status(child, ec);
      if (ec) return child.u8string() + ": " + ec.message();
      if (fs::is_directory(status)) {
        InputItem item;
        item.name = name + "/";
        item.path = child;
        item.directory = true;
        std::string problem = StampOf(child, &item.stamp);
        if (!problem.empty()) return child.u8string() + ": " + problem;
        result_->items.push_back(item);
        ancestors->push_back(fs::canonical(child, ec));
        problem = walk(child, item.name, ancestors);
        ancestors->pop_back();
        if (!problem.empty()) return problem;
      } else if (fs::is_regular_file(status)) {
        std::string problem = addFile(child, name);
        if (!problem.empty()) return problem;
      } else {
        return child.u8string() + ": neither a file nor a folder (a device, pipe or socket)";
      }
      if (result_->items.size() > kMaxEntries) break;  // refused by the caller
    }
    return "";
  }

  const CollectOptions& options_;
  CollectResult* result_;
  fs::path root_;
  std::string rootShown_;
};

}  // namespace

bool ExcludedBy(const std::string& pattern, const std::string& name) {
  if (pattern.empty()) return false;
  if (pattern.find('/') != std::string::npos) {
    std::string whole = pattern[0] == '/' ? pattern.substr(1) : pattern;
    if (!whole.empty() && whole.back() == '/') whole.pop_back();
    return Glob(whole.c_str(), name.c_str());
  }
  size_t slash = name.rfind('/');
  return Glob(pattern.c_str(), name.c_str() + (slash == std::string::npos ? 0 : slash + 1));
}

std::string CollectInputs(const std::vector<std::string>& paths, const CollectOptions& options,
                          CollectResult* result) {
  Walker walker(options, result);
  for (const std::string& shown : paths) {
    fs::path path = fs::u8path(shown);
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    std::string problem;
    if (ec || !fs::exists(status)) {
      problem = shown + ": cannot open: " + (ec ? ec.message() : "no such file or folder");
    } else if (fs::is_directory(status)) {
      problem = walker.topFolder(path);
    } else if (fs::is_regular_file(status)) {
      problem = walker.topFile(path);
    } else {
      problem = shown + ": neither a file nor a folder (a device, pipe or socket)";
    }
    if (!problem.empty()) return problem;
    if (result->items.size() > kMaxEntries) break;
  }
  if (result->items.size() > kMaxEntries) {
    return "more than " + Number(kMaxEntries) +
           " files and folders: more than the reader counts";
  }

  std::vector<InputItem>& items = result->items;
  std::stable_sort(items.begin(), items.end(),
                   [](const InputItem& a, const InputItem& b) { return a.name < b.name; });
  // Two folders named on the command line may both hold a folder of one name: one entry.
  std::vector<InputItem> unique;
  for (InputItem& item : items) {
    if (!unique.empty() && unique.back().name == item.name) {
      if (item.directory && unique.back().directory) continue;
      return "'" + item.name + "' comes twice, from " + unique.back().path.u8string() + " and " +
             item.path.u8string();
    }
    unique.push_back(std::move(item));
  }
  items.swap(unique);
  std::vector<std::pair<std::string, const InputItem*>> folded;
  std::string problems;  // every name that cannot be stored, one a line
  for (const InputItem& item : items) {
    StoredName stored;
    std::string problem = EncodeEntryName(item.name, &stored);
    if (!problem.empty()) {
      problems += (problems.empty() ? "" : "\n") + item.path.u8string() + ": cannot be stored: " + problem;
      continue;
    }
    std::string key = Folded(item.name);
    if (!key.empty() && key.back() == '/') key.pop_back();
    folded.push_back({key, &item});
  }
  if (!problems.empty()) return problems;
  std::sort(folded.begin(), folded.end());
  for (size_t i = 1; i < folded.size(); ++i) {
    if (folded[i].first == folded[i - 1].first) {
      return "'" + folded[i - 1].second->name + "' and '" + folded[i].second->name +
             "' differ only in case; on Windows they would be one file";
    }
  }
  return "";
}
