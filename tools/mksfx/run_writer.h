// The run-after record the builder stores after the directive record: the program that the stub
// offers to run once an extraction has completed ("%0" standing for the destination).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RunAfterOptions {
  std::string command;  // UTF-8, as given; empty: no record
  bool checked = false; // the dialog's box starts checked
};

// The record, or a refusal with the reason in error: an empty program word, an unclosed quote,
// a character outside code page 1252 or a control character, a command longer than the stub
// takes.
bool MakeRunRecord(const RunAfterOptions& options, std::vector<uint8_t>* record,
                   std::string* error);
