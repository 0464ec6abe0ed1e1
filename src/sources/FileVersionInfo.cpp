#include "sources/FileVersionInfo.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "sources/VersionBlock.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace {

WORD LanguageOf(DWORD translation) { return LOWORD(translation); }
WORD CodePageOf(DWORD translation) { return HIWORD(translation); }

// True when the whole range is committed, readable memory of one region: a
// resource entry may claim more bytes than its file maps.
bool Readable(const BYTE* data, DWORD size) {
    constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    MEMORY_BASIC_INFORMATION region{};
    if (!VirtualQuery(data, &region, sizeof region) || region.State != MEM_COMMIT ||
        !(region.Protect & kReadable) || (region.Protect & PAGE_GUARD))
        return false;
    const BYTE* const regionEnd = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    return size <= static_cast<std::size_t>(regionEnd - data);
}

const LPCWSTR kVersionType = MAKEINTRESOURCEW(16);  // RT_VERSION, spelled for the wide calls

BOOL CALLBACK TakeFirst(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR found) {
    *reinterpret_cast<HRSRC*>(found) = FindResourceW(module, name, type);
    return FALSE;
}

// A copy of the file's version resource (id 1, or the first there is), so that
// nothing changes under the reading; empty when the file has none.
std::vector<BYTE> VersionResourceOf(const char* path) {
    const std::optional<std::wstring> wide = win::Wide(path);
    if (!wide) return {};
    const win::UniqueLibrary module(
        LoadLibraryExW(wide->c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) return {};
    HRSRC found = FindResourceW(module.Get(), MAKEINTRESOURCEW(VS_VERSION_INFO), kVersionType);
    if (!found) EnumResourceNamesW(module.Get(), kVersionType, TakeFirst, reinterpret_cast<LONG_PTR>(&found));
    const HGLOBAL loaded = found ? LoadResource(module.Get(), found) : nullptr;
    const BYTE* const data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    const DWORD size = found ? SizeofResource(module.Get(), found) : 0;
    if (!data || size == 0 || !Readable(data, size)) return {};
    return std::vector<BYTE>(data, data + size);
}

}  // namespace

void CFileVersionInfo::Reset() {
    for (std::string& text : texts_) text.clear();
}

bool CFileVersionInfo::ReadVersionInfo(const char* path) {
    return ReadVersionInfo(path, GetUserDefaultLangID());
}

bool CFileVersionInfo::ReadVersionInfo(const char* path, LANGID language) {
    Reset();
    const std::vector<BYTE> block = VersionResourceOf(path);
    return !block.empty() && ReadVersionBlock(block.data(), block.size(), language);
}

bool CFileVersionInfo::ReadVersionBlock(const void* block, std::size_t size, LANGID language) {
    Reset();
    const std::optional<version_block::Contents> contents = version_block::Parse(block, size);
    if (!contents) return false;
    const std::vector<BYTE>& table = contents->translations;
    if (table.size() < sizeof(DWORD)) return true;
    const DWORD translation = ChooseTranslation(table.data(), static_cast<UINT>(table.size()), language);

    wchar_t name[16];
    std::swprintf(name, 16, L"%04X%04X", LanguageOf(translation), CodePageOf(translation));
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const std::wstring key = win::WidenAscii(kKeys[i]);
        for (const version_block::Text& text : contents->texts) {
            if (!version_block::SameKey(text.table, name) || !version_block::SameKey(text.key, key)) continue;
            texts_[i] = win::Utf8(text.text).value_or(std::string());
            break;
        }
    }
    return true;
}

std::string CompanyOrUnknown(CFileVersionInfo& reader, const char* path) {
    if (!reader.ReadVersionInfo(path)) return kUnknownCompany;
    const std::string company = reader.GetCompanyName();
    return company.empty() ? kUnknownCompany : company;
}

bool CFileVersionInfo::FindTranslation(const void* table, UINT length, WORD language, DWORD* found,
                                       LanguageMatch match) {
    const BYTE* const begin = static_cast<const BYTE*>(table);
    const BYTE* const end = begin + length;
    auto search = [&](auto matches) {
        for (const BYTE* at = begin; at + sizeof(DWORD) <= end; at += sizeof(DWORD)) {
            DWORD entry;
            std::memcpy(&entry, at, sizeof entry);
            if (matches(LanguageOf(entry))) {
                *found = entry;
                return true;
            }
        }
        return false;
    };
    if (search([&](WORD candidate) { return candidate == language; })) return true;
    if (match == LanguageMatch::Exact) return false;
    return search([&](WORD candidate) { return LOBYTE(candidate) == LOBYTE(language); });
}

DWORD CFileVersionInfo::ChooseTranslation(const void* table, UINT length, LANGID language) {
    DWORD found = 0;
    if (length < sizeof found) return 0;  // not even a first entry
    if (FindTranslation(table, length, language, &found, LanguageMatch::Exact)) return found;
    if (FindTranslation(table, length, language, &found, LanguageMatch::PrimaryToo)) return found;
    if (FindTranslation(table, length, LANG_NEUTRAL, &found, LanguageMatch::PrimaryToo)) return found;
    if (FindTranslation(table, length, LANG_ENGLISH, &found, LanguageMatch::PrimaryToo)) return found;
    std::memcpy(&found, table, sizeof found);
    return found;
}
