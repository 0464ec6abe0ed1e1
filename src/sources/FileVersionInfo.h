#pragma once
#include <windows.h>

#include <array>
#include <cstddef>
#include <string>

// Reads a program file's version resource: its twelve standard texts, under the translation that best fits the user's language. The
// file may be anyone's: the resource is taken as bytes from kernel32 (no
// version.dll, which an elevated copy could load from a user's folder) and read
// within its bounds (VersionBlock.h).
class CFileVersionInfo {
public:
    // The version keys, in the order of the texts (the sixth spelled as read).
    static constexpr std::array<const char*, 12> kKeys = {
        "CompanyName", "FileDescription", "FileVersion",    "InternalName",
        "LegalCopyright", "OriginalFileName", "ProductName", "ProductVersion",
        "Comments",    "LegalTrademarks", "PrivateBuild",   "SpecialBuild"};

    CFileVersionInfo() { Reset(); }
    virtual ~CFileVersionInfo() = default;

    // True when the file's version resource was loaded (even without texts).
    // Production chooses the translation by the user's default language.
    bool ReadVersionInfo(const char* path);
    bool ReadVersionInfo(const char* path, LANGID language);
    // The same for a version block in memory of `size` bytes: false when it makes no sense.
    bool ReadVersionBlock(const void* block, std::size_t size, LANGID language);
    virtual void Reset();

    std::string GetCompanyName() const { return texts_[0]; }
    const std::string& GetText(std::size_t index) const { return texts_[index]; }

    // How a translation's language is matched: exactly, or failing that by its
    // primary language (low byte) too.
    enum class LanguageMatch { Exact, PrimaryToo };
    // Searches a translation table (4-byte entries: language, code page) for the
    // first entry whose language matches. True and the whole entry in *found, or false.
    static bool FindTranslation(const void* table, UINT length, WORD language, DWORD* found, LanguageMatch match);
    // The five rules: exact language, same primary language, neutral, English, first
    // (0 for a table shorter than one entry).
    static DWORD ChooseTranslation(const void* table, UINT length, LANGID language);

private:
    std::array<std::string, kKeys.size()> texts_;
};

// What an entry shows when its program names no company.
constexpr const char* kUnknownCompany = "Unknown";

// The company of the program file at `path` as an entry shows it: the version
// resource's company name, or "Unknown" when that cannot be read or is empty.
std::string CompanyOrUnknown(CFileVersionInfo& reader, const char* path);
