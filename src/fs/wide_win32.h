// UTF-8 text as the Windows wide-character calls take it. Windows builds only: every text
// inside the program is UTF-8, and the system keeps names and settings in UTF-16.
#pragma once

#include <memory>

// A copy of utf8 (null reads as empty) in UTF-16; empty when it cannot be converted.
std::unique_ptr<wchar_t[]> WideText(const char* utf8);
