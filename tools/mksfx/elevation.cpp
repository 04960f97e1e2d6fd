#include "elevation.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kElement[] = "<requestedExecutionLevel ";
constexpr char kAsInvoker[] = "level=\"asInvoker\"";
constexpr char kNextAttribute[] = "uiAccess=";

size_t Find(const std::vector<uint8_t>& bytes, const std::string& what, size_t from = 0) {
  auto found = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                           what.begin(), what.end());
  return found == bytes.end() ? std::string::npos : static_cast<size_t>(found - bytes.begin());
}

}  // namespace

bool IsElevationLevel(const std::string& level) {
  for (const char* known : kElevationLevels) {
    if (level == known) return true;
  }
  return false;
}

bool SetElevation(std::vector<uint8_t>* stub, const std::string& level, std::string* error) {
  if (level == kElevationLevels[0]) return true;
  const std::string marker = std::string(kElement) + kAsInvoker;
  size_t at = Find(*stub, marker);
  if (at == std::string::npos || Find(*stub, marker, at + 1) != std::string::npos) {
    *error = "the stub carries no single manifest asking for asInvoker; --elevation " + level +
             " needs one of ours";
    return false;
  }
  // The attribute and the blanks after it, up to the next attribute.
  size_t from = at + std::strlen(kElement);
  size_t to = from + std::strlen(kAsInvoker);
  while (to < stub->size() && (*stub)[to] == ' ') ++to;
  std::string wanted = "level=\"" + level + "\" ";
  if (to - from < wanted.size() || Find(*stub, kNextAttribute, to) != to) {
    *error = "the stub's manifest leaves no room for the level " + level;
    return false;
  }
  wanted.resize(to - from, ' ');
  std::copy(wanted.begin(), wanted.end(), stub->begin() + static_cast<std::ptrdiff_t>(from));
  return true;
}
