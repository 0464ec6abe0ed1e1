#pragma once
// Scratch Startup and BackUp folders, and images of what their files hold.
#include <windows.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "lists/ExactCopy.h"

namespace foldertest {

// What a copy must keep of a file.
struct Facts {
    ULONGLONG size = 0;
    DWORD attributes = 0;
    LONGLONG created = 0, written = 0;
    std::uint64_t hash = 0;  // of the bytes
    bool operator==(const Facts& o) const {
        return size == o.size && attributes == o.attributes && created == o.created && written == o.written &&
               hash == o.hash;
    }
};
using Image = std::map<std::wstring, Facts>;  // the files directly in a folder, by name

inline Facts FactsOf(const std::wstring& path) {
    Facts facts;
    win::UniqueHandle file = lists::OpenFileHandle(path);
    FILE_BASIC_INFO basic{};
    if (!file || !GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic)) return facts;
    facts = {0, basic.FileAttributes & lists::kCopiedAttributes, basic.CreationTime.QuadPart,
             basic.LastWriteTime.QuadPart, 1469598103934665603ull};
    std::vector<unsigned char> buffer(1 << 20);
    for (DWORD read = 0; ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read;)
        for (DWORD i = 0; i < read; ++i, ++facts.size) facts.hash = (facts.hash ^ buffer[i]) * 1099511628211ull;
    return facts;
}

inline Image ImageOf(const std::wstring& folder) {
    Image image;
    lists::ForEachFile(folder, [&](const std::wstring& name) { image[name] = FactsOf(folder + L"\\" + name); });
    return image;
}

// Writes a file with these bytes, times and attributes.
inline bool WriteItem(const std::wstring& path, const std::string& bytes, LONGLONG created, LONGLONG written,
                      DWORD attributes) {
    {
        win::UniqueHandle file(CreateFileW(lists::LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD done = 0;
        FILE_BASIC_INFO times{};
        times.CreationTime.QuadPart = created;
        times.LastWriteTime.QuadPart = written;
        if (!file || !WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) ||
            !SetFileInformationByHandle(file.Get(), FileBasicInfo, &times, sizeof times))
            return false;
    }
    return SetFileAttributesW(lists::LongPath(path).c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != 0;
}

// `count` items as installers leave them: names in many scripts up to 255 bytes, odd attributes, `large` 10 MB files.
inline Image MakeItems(const std::wstring& folder, int count, int large, unsigned seed) {
    std::mt19937 random(seed);
    auto pick = [&](unsigned n) { return static_cast<unsigned>(random() % n); };
    const unsigned scripts[][2] = {{0x61, 26}, {0x430, 32}, {0x3B1, 25}, {0x4E00, 2000}, {0x627, 36}, {0x915, 37},
                                   {0x1F600, 80}};
    const wchar_t* extensions[] = {L".lnk", L".url", L".exe", L".bat", L".txt"};
    const DWORD attributes[] = {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM};
    for (int i = 0; i < count; ++i) {
        const std::wstring suffix = L"-" + std::to_wstring(i) + extensions[pick(5)];
        std::wstring name;
        const auto& script = scripts[pick(7)];
        for (unsigned bytes = 0, length = pick(4) ? pick(40) : 255; name.size() < length;) {
            const unsigned code = script[0] + pick(script[1]);
            const unsigned size = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
            if (bytes + size + suffix.size() > 250 || name.size() + suffix.size() + 2 > 255) break;
            bytes += size;
            if (code < 0x10000) name += static_cast<wchar_t>(code);
            else name += {static_cast<wchar_t>(0xD7C0 + (code >> 10)), static_cast<wchar_t>(0xDC00 + (code & 0x3FF))};
        }
        std::string bytes(i < large ? 10u << 20 : pick(3) ? pick(5000) : 0u, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        DWORD attribute = FILE_ATTRIBUTE_ARCHIVE;
        for (DWORD each : attributes) attribute |= pick(4) ? 0 : each;
        const LONGLONG day = 864000000000LL, epoch = 132000000000000000LL;
        WriteItem(folder + L"\\" + name + suffix, bytes, epoch + pick(3000) * day, epoch + pick(3000) * day, attribute);
    }
    return ImageOf(folder);
}

// Runs a Unix program by Wine's start.exe /wait (a Unix child gives no handle to wait for), and waits.
inline void RunUnix(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    std::wstring command = L"start.exe /wait /unix " + program;
    for (const std::wstring& argument : arguments) command += L" \"" + argument + L"\"";
    const win::UniqueHandle started = StartProgram(command, CREATE_NO_WINDOW);
    if (started) WaitForSingleObject(started.Get(), 10000);
}

// The Unix name of a Windows path (Wine's own conversion).
inline std::wstring UnixName(const std::wstring& path) {
    using Convert = char*(__cdecl*)(const wchar_t*);
    const auto convert =
        reinterpret_cast<Convert>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name"));
    char* name = convert ? convert(path.c_str()) : nullptr;
    std::wstring wide;
    for (const char* at = name; at && *at; ++at) wide += static_cast<wchar_t>(static_cast<unsigned char>(*at));
    HeapFree(GetProcessHeap(), 0, name);
    return wide;  // the tests' paths are ASCII
}

// Waits up to `ms` until `path` is there (or, not `there`, until it is gone).
inline bool WaitForAttributes(const std::wstring& path, bool there, int ms = 10000) {
    for (int wait = 0; wait < ms / 10; ++wait, Sleep(10))
        if ((GetFileAttributesW(lists::LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) == there) return true;
    return false;
}

// A Unix symbolic link (Wine's junction) at `link` to `target`; start.exe may lose it: tried again.
inline bool PlantLink(const std::wstring& link, const std::wstring& target) {
    for (int tries = 0; tries < 3; ++tries) {
        RunUnix(L"/bin/ln", {L"-s", UnixName(target), UnixName(link)});
        if (WaitForAttributes(link, true, 5000)) return true;
    }
    return false;
}

// Deletes a folder with all it holds, read-only files too; a link only itself.
inline void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(lists::LongPath(folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName, path = folder + L"\\" + name;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                RunUnix(L"/bin/rm", {UnixName(path)});
                WaitForAttributes(path, false);
                continue;
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            SetFileAttributesW(lists::LongPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(lists::LongPath(path).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(lists::LongPath(folder).c_str());
}

// A fresh scratch root whose paths pass MAX_PATH, and its two folders.
struct Scratch {
    std::wstring root, startup, backUp;
    explicit Scratch(const wchar_t* tag) {
        wchar_t temp[MAX_PATH] = {};
        root = std::wstring(temp, GetTempPathW(MAX_PATH, temp)) + L"pacewick-" + tag + L"-" +
               std::to_wstring(GetTickCount());
        root += L"\\" + std::wstring(120, L'd');
        startup = root + L"\\Startup";
        backUp = root + L"\\Quorvell Software\\Pacewick\\StartupBackUp";
        for (std::size_t at = root.find(L'\\', 3); at != std::wstring::npos; at = root.find(L'\\', at + 1))
            CreateDirectoryW(lists::LongPath(root.substr(0, at)).c_str(), nullptr);
        for (const std::wstring& folder : {root, startup, root + L"\\Quorvell Software",
                                           root + L"\\Quorvell Software\\Pacewick"})
            CreateDirectoryW(lists::LongPath(folder).c_str(), nullptr);
    }
    ~Scratch() { RemoveTree(root.substr(0, root.rfind(L'\\'))); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

}  // namespace foldertest
