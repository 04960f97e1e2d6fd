#include "command_line.h"

#include <algorithm>

namespace {

const OptionSpec* FindLong(const std::vector<OptionSpec>& table, const std::string& name) {
  for (const OptionSpec& spec : table) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

const OptionSpec* FindShort(const std::vector<OptionSpec>& table, char name) {
  for (const OptionSpec& spec : table) {
    if (spec.shortName && spec.shortName == name) return &spec;
  }
  return nullptr;
}

std::string Shown(const OptionSpec& spec) {
  std::string shown = std::string("--") + spec.name;
  if (spec.shortName) shown = std::string("-") + spec.shortName + ", " + shown;
  if (spec.valueName) shown += std::string(" ") + spec.valueName;
  return shown;
}

}  // namespace

std::string ParseCommandLine(const std::vector<std::string>& args,
                             const std::vector<OptionSpec>& table, BuildRequest* request,
                             ParsedCommandLine* parsed) {
  bool endOfOptions = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (endOfOptions || arg.size() < 2 || arg[0] != '-') {
      parsed->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      endOfOptions = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      parsed->help = true;
      continue;
    }
    if (arg == "--version") {
      parsed->version = true;
      continue;
    }
    const OptionSpec* spec = nullptr;
    std::string value;
    bool hasValue = false;
    if (arg[1] == '-') {
      size_t equals = arg.find('=');
      std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      spec = FindLong(table, name);
      if (spec && equals != std::string::npos) {
        value = arg.substr(equals + 1);
        hasValue = true;
      }
    } else {
      spec = FindShort(table, arg[1]);
      if (spec && arg.size() > 2) {
        if (!spec->valueName) return "unknown option " + arg;
        value = arg.substr(2);
        hasValue = true;
      }
    }
    if (!spec) return "unknown option " + arg;
    if (spec->valueName && !hasValue) {
      if (i + 1 >= args.size()) return arg + " needs a value (" + spec->valueName + ")";
      value = args[++i];
    } else if (!spec->valueName && hasValue) {
      return std::string("--") + spec->name + " takes no value";
    }
    std::string problem = spec->take(value, *request);
    if (!problem.empty()) return problem;
  }
  return "";
}

std::string OptionHelp(const std::vector<OptionSpec>& table) {
  size_t width = 0;
  for (const OptionSpec& spec : table) width = std::max(width, Shown(spec).size());
  std::string help;
  for (const OptionSpec& spec : table) {
    std::string shown = Shown(spec);
    help += "  " + shown + std::string(width - shown.size() + 2, ' ') + spec.help + "\n";
  }
  return help;
}
