#pragma once
#include <windows.h>

#include <string>

// What a watcher waits on: a registry key (with its subkeys, or its values
// alone when `valuesOnly` is set), or a folder when `folder` is set (its
// files' names, sizes, times and attributes).
struct WatchTarget {
    HKEY root = nullptr;
    std::wstring path;  // under root
    REGSAM view = 0;    // 0, or KEY_WOW64_64KEY
    std::wstring folder;
    bool valuesOnly = false;
};
