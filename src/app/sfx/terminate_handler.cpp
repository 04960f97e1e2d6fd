// The stub is a GUI program without a console: the runtime's verbose terminate handler, which
// prints the type of an uncaught exception to standard error, would have nowhere to print and
// brings a name demangler of some 40 KB into every archive. An uncaught exception, which no
// path of the stub throws, ends the program plainly instead.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
