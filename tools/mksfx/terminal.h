// The builder's terminal: whether a stream is one (the progress bar is drawn only there), and
// a password typed without echo.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

bool IsTerminal(std::FILE* stream);

// Shows prompt on standard error and reads one line from the terminal with the echo off, in
// UTF-8. False when there is no terminal to ask or nothing was read.
bool ReadHiddenLine(const char* prompt, std::string* line);

// The command-line arguments after the program's name, in UTF-8 (Windows hands them over in
// UTF-16).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
