#pragma once
#include <string>

namespace ui {

// A text of the program's string table (its resources), in which every text
// the user sees is kept; empty when it has none of that id.
std::wstring ResourceText(unsigned id);

}  // namespace ui
