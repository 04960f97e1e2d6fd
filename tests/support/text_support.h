// The engine's own texts and text lists in test assertions: printed by GoogleTest, compared
// with standard strings. Test-only.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "fs/text.h"

inline std::ostream& operator<<(std::ostream& out, const Text& text) {
  return out << '"' << std::string(text.c_str(), text.size()) << '"';
}

inline std::vector<std::string> Strings(const TextList& list) {
  std::vector<std::string> out;
  for (const Text& t : list) out.emplace_back(t.c_str(), t.size());
  return out;
}

inline std::ostream& operator<<(std::ostream& out, const TextList& list) {
  out << '{';
  for (const Text& t : list) out << t << ' ';
  return out << '}';
}

inline bool operator==(const TextList& list, const std::vector<std::string>& strings) {
  return Strings(list) == strings;
}

inline bool operator==(const Text& text, const std::string& string) {
  return std::string(text.c_str(), text.size()) == string;
}
