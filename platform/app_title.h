#pragma once
// The running application's title (string 57344 of a program's string table). Empty unless
// the program or a test sets it.

#include <string>

namespace win {

const std::string& GetAppTitle();
void SetAppTitle(std::string title);

}  // namespace win
