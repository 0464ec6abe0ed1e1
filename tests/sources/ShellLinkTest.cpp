// The program's own shortcut reader against shell-saved shortcuts and seeded damaged copies.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "Shortcuts.h"
#include "TestHelpers.h"
#include "sources/Companies.h"
#include "sources/ShellLink.h"
#include "win/Text.h"

namespace {

using test_shortcuts::Bytes;

// A scratch folder with a space in its name, and a program in a folder with one.
struct Scratch {
    std::wstring folder = *win::Wide(FixtureDir()) + L"\\shortcut scratch " + std::to_wstring(GetCurrentProcessId());
    std::wstring program = folder + L"\\tools dir\\record launch.exe";
    std::wstring work = folder + L"\\work dir";
    Scratch() {
        CreateDirectoryW(folder.c_str(), nullptr);
        CreateDirectoryW((folder + L"\\tools dir").c_str(), nullptr);
        CreateDirectoryW(work.c_str(), nullptr);
        CopyFileW((*win::Wide(FixtureDir()) + L"\\record_launch.exe").c_str(), program.c_str(), FALSE);
    }
    ~Scratch() {
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((folder + L"\\*.lnk").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
            DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        DeleteFileW(program.c_str());
        RemoveDirectoryW((folder + L"\\tools dir").c_str());
        RemoveDirectoryW(work.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    Bytes BytesOf(const std::wstring& path) const {
        std::ifstream in(path.c_str(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::wstring Write(const std::wstring& name, const Bytes& bytes) const {
        const std::wstring path = folder + L"\\" + name;
        std::ofstream(path.c_str(), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
};

// The bytes parsed at the end of a readable range before a no-access page: a read past them faults at once.
std::optional<shell_link::Shortcut> ParseBeforeAGuardPage(const Bytes& bytes) {
    constexpr std::size_t kPage = 4096;
    const std::size_t readable = (bytes.size() + kPage - 1) / kPage * kPage + kPage;
    BYTE* const pages = static_cast<BYTE*>(VirtualAlloc(nullptr, readable + kPage, MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(pages + readable, kPage, PAGE_NOACCESS, &old);
    BYTE* const start = pages + readable - bytes.size();
    if (!bytes.empty()) std::memcpy(start, bytes.data(), bytes.size());
    auto shortcut = shell_link::Parse(start, bytes.size());
    VirtualFree(pages, 0, MEM_RELEASE);
    return shortcut;
}

// A shell-saved shortcut reads back exactly; env targets expanded, UTF-16 LinkInfo preferred; too big reads as none.
TEST(ShellLink, ReadsWhatTheShellSavedExactly) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    Scratch scratch;
    const std::wstring path = scratch.folder + L"\\Tool.lnk", arguments = L"one \"x y\" 100%";
    ASSERT_TRUE(SUCCEEDED(test_shortcuts::Make(path, scratch.program, arguments, scratch.work, SW_SHOWMINNOACTIVE)));
    const auto read = shell_link::Read(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(scratch.program, read->target);
    EXPECT_EQ(arguments, read->arguments);
    EXPECT_EQ(scratch.work, read->folder);
    EXPECT_EQ(SW_SHOWMINNOACTIVE, read->show);

    // A target with environment references is expanded, here and now.
    SetEnvironmentVariableW(L"PACEWICK_TEST_TOOLS", (scratch.folder + L"\\tools dir").c_str());
    const auto expanded = shell_link::Read(scratch.Write(
        L"Expandable.lnk",
        test_shortcuts::WithEnvironmentTarget(scratch.BytesOf(path), L"%PACEWICK_TEST_TOOLS%\\record launch.exe")));
    SetEnvironmentVariableW(L"PACEWICK_TEST_TOOLS", nullptr);
    ASSERT_TRUE(expanded.has_value());
    EXPECT_EQ(scratch.program, expanded->target);
    EXPECT_EQ(arguments, expanded->arguments);

    // A LinkInfo with UTF-16 paths gives those, not its ANSI ones.
    const std::wstring unicodePath = L"C:\\M\u00e9t\u00e9o \u5929\u6c17\\tool.exe";
    const auto unicode = shell_link::Read(
        scratch.Write(L"Unicode.lnk", test_shortcuts::WithUnicodeLinkInfo(scratch.BytesOf(path), unicodePath)));
    ASSERT_TRUE(unicode.has_value());
    EXPECT_EQ(unicodePath, unicode->target);
    EXPECT_EQ(scratch.work, unicode->folder);

    // Bytes after the last block are not the shortcut's: up to the limit it still reads.
    Bytes padded = scratch.BytesOf(path);
    padded.resize(shell_link::kMostBytes);
    EXPECT_TRUE(shell_link::Read(scratch.Write(L"Padded.lnk", padded)).has_value());
    padded.push_back(0);
    EXPECT_FALSE(shell_link::Read(scratch.Write(L"Padded.lnk", padded)).has_value());
    CoUninitialize();
}

// Damaged copies never read past their bytes and give a sane shortcut or none; the overlong one shows "Unknown".
TEST(ShellLink, DamagedCopiesReadWithinTheirBytesSaneOrNotAtAll) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    Scratch scratch;
    const std::wstring path = scratch.folder + L"\\Tool.lnk";
    ASSERT_TRUE(SUCCEEDED(test_shortcuts::Make(path, scratch.program, L"a \"b c\"", scratch.work)));
    const Bytes sound = scratch.BytesOf(path);
    ASSERT_TRUE(ParseBeforeAGuardPage(sound).has_value());
    const Bytes overlong = test_shortcuts::WithOverlongFirstItem(sound);
    EXPECT_FALSE(ParseBeforeAGuardPage(overlong).has_value());
    CFileVersionInfo versionInfo;
    EXPECT_EQ(kUnknownCompany, CompanyOfItem(scratch.Write(L"Overlong.lnk", overlong), versionInfo));

    const unsigned copies = 1000;
    unsigned read = 0;
    for (unsigned seed = 1; seed <= copies; ++seed) {
        const Bytes damaged = test_shortcuts::Damaged(sound, seed);
        const auto shortcut = ParseBeforeAGuardPage(damaged);
        if (!shortcut) continue;
        ++read;
        const bool sane = !shortcut->target.empty() && shortcut->target.find(L'\0') == std::wstring::npos &&
                          shortcut->target.size() + shortcut->arguments.size() + shortcut->folder.size() <=
                              damaged.size() &&
                          (shortcut->show == SW_SHOWNORMAL || shortcut->show == SW_SHOWMAXIMIZED ||
                           shortcut->show == SW_SHOWMINNOACTIVE);
        EXPECT_TRUE(sane) << "seed " << seed;
    }
    // Some damage (a flipped byte of a time, a text) leaves a shortcut that still reads.
    EXPECT_GT(read, 0u);
    EXPECT_LT(read, copies);
    CoUninitialize();
}

}  // namespace
