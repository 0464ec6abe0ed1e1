#pragma once
#include <string>

namespace win {

// The full path of the running executable, as long as Windows gives it; empty
// when Windows cannot say.
std::string RunningExecutablePath();

}  // namespace win
