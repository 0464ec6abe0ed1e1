#pragma once
#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

// A shortcut (.lnk) read by the program itself, within the file's own lengths:
// anyone may put a shortcut into a Startup folder, and the shell's own loader
// reads past a damaged one's ID list. The file is the shell-link format: a
// 76-byte header, the target's ID list, LinkInfo (the target's path), counted
// texts, then extra-data blocks (among them the target with environment
// references). Nothing is resolved, searched for or started here.
namespace shell_link {

// What a shortcut starts.
struct Shortcut {
    std::wstring target;     // a path, environment references expanded
    std::wstring arguments;  // as stored
    std::wstring folder;     // the working folder, expanded; empty when none is given
    int show = SW_SHOWNORMAL;
};

// A shortcut is a few kilobytes; a larger file makes no sense as one.
constexpr std::size_t kMostBytes = 1 << 20;

// The shortcut held in these bytes; none when a length, an offset or a text
// does not fit where it stands, or when it names no path. A target given only
// by the ID list counts as none: its items are the shell's own binary records,
// which only the shell would read, and a shortcut to a file carries its path in
// LinkInfo as well.
std::optional<Shortcut> Parse(const void* bytes, std::size_t size);

// The shortcut in this file, read whole (at most kMostBytes) through a handle
// that follows no link and lets no one write the file meanwhile.
std::optional<Shortcut> Read(const std::wstring& path);

// Whether a file's name ends in ".lnk", in any letter case.
bool IsShortcut(const std::wstring& path);

}  // namespace shell_link
