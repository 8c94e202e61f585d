#pragma once
// The debugger output. On Windows every line goes to the debugger (OutputDebugStringA
// itself); a program can also have the lines copied to a file, and tests to a buffer. On
// Linux there is no debugger: the lines go to standard error by default, or instead to a
// file or a buffer.

#include <string>

namespace win {

void OutputDebugStringA(const char* text);

// Back to the platform's channel alone: the debugger on Windows, standard error on Linux.
void SetDebugOutputToDefault();
// Appends debug output to a file (on Windows beside the debugger); false, leaving the sink as
// it was, when it cannot be opened.
bool SetDebugOutputToFile(const std::string& path);
// Ends the copy to a file and goes back to the platform's channel alone. Empty when every
// line reached the file, else why the first that did not (a full disk).
std::string CloseDebugOutputFile();
// Collects debug output in memory, for tests; TakeDebugOutput hands it over and clears it.
void SetDebugOutputToBuffer();
std::string TakeDebugOutput();

namespace detail {
// The platform's own channel, which each platform gives: on Windows the debugger, which gets
// every line; on Linux standard error, which gets a line only while no file or buffer does.
void WriteToDebugChannel(const char* text, bool copied);
}  // namespace detail

}  // namespace win
