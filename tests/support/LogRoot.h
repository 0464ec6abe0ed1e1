#pragma once
// A folder standing for %ProgramData%, removed with what the keeper's log made in it.
#include <windows.h>

#include <string>
#include <vector>

#include "TakeOverSupport.h"
#include "keeper/KeeperLog.h"
#include "keeper/LogFolder.h"
#include "win/Scoped.h"
#include "win/Text.h"

struct LogRoot {
    const std::wstring root = *win::Wide(enginetest::TempPath("log-root"));
    LogRoot() { CreateDirectoryW(root.c_str(), nullptr); }
    ~LogRoot() {
        keeper::CloseLog();
        DeleteFileW(Path(keeper::kLogName).c_str());
        DeleteFileW(Path(keeper::kOldLogName).c_str());
        RemoveDirectoryW((root + L"\\Quorvell Software\\Pacewick").c_str());
        RemoveDirectoryW((root + L"\\Quorvell Software").c_str());
        RemoveDirectoryW(root.c_str());
    }
    std::wstring Path(const wchar_t* name) const { return keeper::LogFolder::PathBelow(root, name); }
    std::vector<std::string> Lines(const wchar_t* name = keeper::kLogName) const {
        std::vector<std::string> lines;
        const std::string text = Read(Path(name));
        for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(text.substr(at, end - at));
        return lines;
    }
    static std::string Read(const std::wstring& path) {
        win::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        std::string text(file ? GetFileSize(file.Get(), nullptr) : 0, '\0');
        DWORD read = 0;
        if (file) ReadFile(file.Get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
        return text.substr(0, read);
    }
};
