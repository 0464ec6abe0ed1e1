#pragma once
#include <string>

// The full path of the running executable, as long as Windows gives it; empty
// when Windows cannot say.
std::string RunningExecutablePath();

// The program's own Run value: the running executable's full path in double
// quotes, with no arguments; empty when the path is unknown.
std::string SelfCommand();
