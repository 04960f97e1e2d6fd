// Linux hands command-line arguments over in UTF-8.
#include "fs/codepage.h"
#include "signer.h"

bool ArgumentToAnsi(const std::string& argument, std::string* ansi) {
  *ansi = Utf8ToAnsi(argument);
  // The conversion puts '_' for what it cannot convert: only a text that comes back whole
  // was converted.
  return AnsiToUtf8(*ansi) == argument;
}
