#pragma once
#include <string>

// The program's own Run value: the running executable's full path in double
// quotes, with no arguments; empty when the path is unknown.
std::string SelfCommand();
