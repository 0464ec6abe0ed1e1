#pragma once
#include <cstddef>

// One delayed start-up item: four fixed-width 8-bit texts.
struct StartupEntry {
    static constexpr std::size_t kFieldSize = 255;  // 254 characters and the NUL

    char name[kFieldSize] = {};     // the registry value name (or task name): the entry's identity
    char command[kFieldSize] = {};  // the command line as read, unchanged
    char company[kFieldSize] = {};  // from the program's version resource, or "Unknown"
    char origin[kFieldSize] = {};   // one of the origin labels below
};

namespace origin {
constexpr const char* kCurrentUser = "Current user start-up list";
constexpr const char* kAllUsers = "all user start-up list";
constexpr const char* kBoth = "Present both in Current and all user startup";
constexpr const char* kTaskScheduler = "Task Scheduler";
}  // namespace origin

// Copies text into a field. Never writes past the field: a text of more than
// 254 characters is cut there and reported by returning false, so that the
// caller can refuse the entry instead of using the cut text.
bool SetField(char (&field)[StartupEntry::kFieldSize], const char* text);
