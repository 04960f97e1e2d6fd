// The option vocabulary: the keyword table the parser matches option words against, the
// sub-option value tables the handlers match their values against, and the handlers.
#pragma once

#include <cstdint>

class OptionParse;

// Receives the parse in progress, the whole option word without its switch character and the
// row's code; returns 0 or the number of the fatal message to report.
using OptionHandler = int (*)(OptionParse& parse, const char* word, uint16_t code);

struct OptionRow {
  const char* keyword;  // upper case; null ends the table
  uint16_t code;
  OptionHandler handler;  // null: accepted and ignored
};

struct SubOptionRow {
  const char* keyword;  // upper case; null ends the table
  int32_t value;
};

// Sorted alphabetically; rows without a handler still take part in abbreviation matching.
extern const OptionRow OptionTable[];
constexpr int kOptionTableRows = 29;

// Searched in table order, which decides what an abbreviation selects.
extern const SubOptionRow SelectionTable[];
extern const SubOptionRow OverwriteTable[];
extern const SubOptionRow SortTable[];
extern const SubOptionRow AttributeTable[];
extern const SubOptionRow TimesTable[];
extern const SubOptionRow VersionTable[];
extern const SubOptionRow LocaleTable[];
extern const SubOptionRow DirectoriesTable[];
