// Entry names as the builder stores them. The stub reads a name without flag bit 11 in the OEM
// code page (437), and a name with bit 11 in UTF-8, creating it exactly. Info-ZIP unzip on
// Linux leaves a name without
// bit 11 as its bytes, so an OEM name would come out differently there: a name that is all ASCII
// is stored as it is, any other in UTF-8 with bit 11, the one form every reader agrees on.
#pragma once

#include <cstdint>
#include <string>

struct StoredName {
  std::string bytes;
  bool utf8 = false;  // flag bit 11
};

// name: UTF-8, '/' between folders, a folder ending in '/'. Returns "" or why the name cannot
// be stored: not UTF-8, a control character, a character Windows refuses in file names, a part
// that Windows takes for a device or whose final dot or blank it drops, or longer than a record
// can hold.
std::string EncodeEntryName(const std::string& name, StoredName* stored);
