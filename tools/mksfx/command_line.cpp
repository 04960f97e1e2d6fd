#include "command_line.h"

#include <algorithm>

namespace {

const BuilderOption* FindLong(const std::vector<BuilderOption>& table, const std::string& name) {
  for (const BuilderOption& option : table) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

const BuilderOption* FindShort(const std::vector<BuilderOption>& table, char name) {
  for (const BuilderOption& option : table) {
    if (option.shortName && option.shortName == name) return &option;
  }
  return nullptr;
}

std::string Shown(const BuilderOption& option) {
  std::string shown = std::string("--") + option.name;
  if (option.shortName) shown = std::string("-") + option.shortName + ", " + shown;
  if (option.valueName) shown += std::string(" ") + option.valueName;
  return shown;
}

}  // namespace

std::string ParseCommandLine(const std::vector<std::string>& args,
                             const std::vector<BuilderOption>& table, BuildRequest* request,
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
    const BuilderOption* option = nullptr;
    std::string value;
    bool hasValue = false;
    if (arg[1] == '-') {
      size_t equals = arg.find('=');
      std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      option = FindLong(table, name);
      if (option && equals != std::string::npos) {
        value = arg.substr(equals + 1);
        hasValue = true;
      }
    } else {
      option = FindShort(table, arg[1]);
      if (option && arg.size() > 2) {
        if (!option->valueName) return "unknown option " + arg;
        value = arg.substr(2);
        hasValue = true;
      }
    }
    if (!option) return "unknown option " + arg;
    if (option->valueName && !hasValue) {
      if (i + 1 >= args.size()) return arg + " needs a value (" + option->valueName + ")";
      value = args[++i];
    } else if (!option->valueName && hasValue) {
      return std::string("--") + option->name + " takes no value";
    }
    std::string problem = option->take(value, *request);
    if (!problem.empty()) return problem;
  }
  return "";
}

std::string OptionHelp(const std::vector<BuilderOption>& table) {
  size_t width = 0;
  for (const BuilderOption& option : table) width = std::max(width, Shown(option).size());
  std::string help;
  for (const BuilderOption& option : table) {
    std::string shown = Shown(option);
    help += "  " + shown + std::string(width - shown.size() + 2, ' ') + option.help + "\n";
  }
  return help;
}
