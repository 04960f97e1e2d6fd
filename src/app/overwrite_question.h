// The text of the overwrite question, the same in the stub's dialog and on the terminal: what
// exists (while it can still be found), then what would replace it.
#pragma once

#include <cstddef>

class ReportFrontEnd;
struct CentralHeader;

// Into text (size chars): strings 501 and 502 filled with the name, sizes, dates in dateOrder
// and times.
void ComposeOverwriteQuestion(ReportFrontEnd& frontEnd, int dateOrder, char* text, size_t size,
                              const char* name, const CentralHeader& entry);
