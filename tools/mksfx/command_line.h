// The builder's command line: a table of options, each with its help line and what it does to
// the request, and one parser over it in the conventions of Linux tools ("--name value",
// "--name=value", "-o value", "-ovalue", "--" ends the options). A feature adds its options as
// rows of the table; nothing else here needs to change.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct BuildRequest;

struct BuilderOption {
  const char* name;       // the long form without its "--"
  char shortName;         // 0 when there is none
  const char* valueName;  // shown in the help; null for a switch that takes no value
  const char* help;       // one line
  // Takes the option into the request; returns a problem to report as a usage error, or "".
  // value is empty for a switch.
  std::function<std::string(const std::string& value, BuildRequest& request)> take;
};

struct ParsedCommandLine {
  bool help = false;
  bool version = false;
  std::vector<std::string> operands;  // the words that are not options, in order
};

// Parses args (without the program name). Returns "" or the usage problem, one line.
std::string ParseCommandLine(const std::vector<std::string>& args,
                             const std::vector<BuilderOption>& table, BuildRequest* request,
                             ParsedCommandLine* parsed);

// The options part of --help: one line per option, aligned.
std::string OptionHelp(const std::vector<BuilderOption>& table);
