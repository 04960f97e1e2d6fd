// Shared by the option tests: a fresh command line for every test (its archive name already
// known, so that names select entries), parse helpers, and the texts a refused parse shows.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "options/parser.h"
#include "options/run_options.h"
#include "report/status.h"

// Parses words into *line. The words are copies that are overwritten once the parse is over:
// a setting that kept a pointer into its word instead of a copy reads the scribble.
inline Status ParseWords(const std::vector<std::string>& words, CommandLine* line) {
  std::vector<std::string> copies = words;
  std::vector<char*> vector;
  for (std::string& w : copies) vector.push_back(&w[0]);
  vector.push_back(nullptr);
  Status status = ParseArguments(vector.data(), line);
  for (std::string& w : copies) w.assign(w.size(), '#');
  return status;
}

// The engine's owned texts and lists as standard ones, for comparing and printing.
template <typename T>
std::string Str(const T& text) {
  return std::string(text.c_str(), text.size());
}
template <typename List>
std::vector<std::string> Strings(const List& list) {
  std::vector<std::string> out;
  for (const auto& text : list) out.push_back(Str(text));
  return out;
}

// What the user is shown for a status.
inline std::string Shown(const Status& status) {
  char text[600];
  status.messageText(text, sizeof text);
  return text;
}

// Every field of the run settings, for comparing two of them with a readable difference.
inline std::string Describe(const RunOptions& o) {
  std::ostringstream out;
  out << "command=" << o.command << " Comment=" << o.Comment
      << " selection=" << o.extractSelection << " Overwrite=" << o.Overwrite << " dropMask=0x"
      << std::hex << o.attributeDropMask << std::dec << " Path=" << o.Path
      << " dateFilter=" << o.dateFilter << " requestedSort=" << o.requestedSort
      << " SortExtract=" << o.SortExtract << " Times=" << o.Times
      << " LocaleDate=" << o.LocaleDate << " useNtfsTimes=" << o.useNtfsTimes
      << " Header=" << o.Header << " Move=" << o.Move << " Password=" << o.Password
      << " Recurse=" << o.Recurse << " sortGiven=" << o.sortGiven << " volume=" << o.volume
      << " switch=" << o.switchChar << " list=" << o.listMarker
      << " switch2=" << o.secondSwitchChar << " password='" << Str(o.passwordText)
      << "' print='" << Str(o.printDevice) << "' after=" << o.AfterDate
      << " before=" << o.BeforeDate;
  return out.str();
}

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }

  // A fresh command line that already has its archive name.
  void Reset() {
    line_ = CommandLine{};
    line_.archiveName = "a.zip";
  }

  // Parses words into the test's command line; the parse is expected to succeed.
  void Parse(const std::vector<std::string>& words) {
    Status status = ParseWords(words, &line_);
    EXPECT_TRUE(status.ok()) << ::testing::PrintToString(words) << ": " << Shown(status);
  }
  // Parses words into the test's command line and returns how the parse ended.
  Status ParseStatus(const std::vector<std::string>& words) { return ParseWords(words, &line_); }

  const RunOptions& options() const { return line_.options; }
  std::vector<std::string> Includes() const { return Strings(line_.includes); }
  std::vector<std::string> Excludes() const { return Strings(line_.excludes); }
  std::string ArchiveName() const { return Str(line_.archiveName); }
  std::string Destination() const { return Str(line_.destination); }

  CommandLine line_;
};
