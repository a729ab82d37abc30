// Where the running executable lies. Any thread.
#pragma once

#include <string>

// The full path of the module holding this code (the executable), found from
// the memory region of one of our own functions; "" if the system answers
// nothing.
std::wstring ModuleFilePath();

// ModuleFilePath() up to and including its last "\" or "/"; "" when it holds
// neither.
std::wstring ModuleDirectory();
