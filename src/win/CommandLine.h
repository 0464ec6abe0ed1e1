#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace win {

// A command's text with its environment references expanded, as the program
// starts it whatever type its value is; none when it cannot be expanded.
std::optional<std::wstring> Expanded(const std::wstring& command);

// The path with `.`, `..`, doubled and forward separators resolved from its
// text alone, as Windows resolves it before opening anything.
std::optional<std::wstring> FullPath(const std::wstring& path);

// Where an (expanded) command's program is in its text: a leading quoted path,
// or unquoted the text up to the first blank (or the end) that follows ".exe":
// anything before that is another program's. `rest` is where the arguments
// begin. None for a blank command, an unclosed quote or an unquoted command
// with no ".exe".
struct CommandSplit {
    std::wstring path;
    std::size_t rest = 0;
    bool unquoted = false;
};
std::optional<CommandSplit> SplitCommand(const std::wstring& line);

// A drive's own path ("C:\..."): any other (relative, "\dir", a network or
// device path) may lead anywhere.
bool OnADrive(const std::wstring& path);

}  // namespace win
