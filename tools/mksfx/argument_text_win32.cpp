// Windows hands command-line arguments to main in the ANSI code page already.
#include "signer.h"

bool ArgumentToAnsi(const std::string& argument, std::string* ansi) {
  *ansi = argument;
  return true;
}
