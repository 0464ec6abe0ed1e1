#pragma once
#include <initializer_list>
#include <string>

namespace ui {

// A text of the program's string table (its resources), in which every text
// the user sees is kept; empty when it has none of that id.
std::wstring ResourceText(unsigned id);

// The same text with its placeholders %1 to %9 replaced by `fills`, in their
// order. A fill is put in as it is and never read for placeholders itself, so
// that no text from elsewhere (a name, a path) is taken as a format; a
// placeholder without a fill stays as it stands.
std::wstring ResourceText(unsigned id, std::initializer_list<std::wstring> fills);

}  // namespace ui
