#pragma once
// The debugger output. Programs here have no debugger, so the lines go to a sink:
// standard error by default, a file when a program is told so, a buffer in tests.

#include <string>

namespace win {

void OutputDebugStringA(const char* text);

// Sends debug output to standard error again.
void SetDebugOutputToStderr();
// Appends debug output to a file; false, leaving the sink as it was, when it cannot be opened.
bool SetDebugOutputToFile(const std::string& path);
// Collects debug output in memory, for tests; TakeDebugOutput hands it over and clears it.
void SetDebugOutputToBuffer();
std::string TakeDebugOutput();

}  // namespace win
