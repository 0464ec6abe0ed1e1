#include "sources/FileVersionInfo.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

WORD LanguageOf(DWORD translation) { return LOWORD(translation); }
WORD CodePageOf(DWORD translation) { return HIWORD(translation); }

}  // namespace

void CFileVersionInfo::Reset() {
    std::memset(&fixed_, 0, sizeof fixed_);
    for (std::string& text : texts_) text.clear();
}

int CFileVersionInfo::ReadVersionInfo(const char* path) {
    return ReadVersionInfo(path, GetUserDefaultLangID());
}

int CFileVersionInfo::ReadVersionInfo(const char* path, LANGID language) {
    Reset();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return 0;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoA(path, handle, size, block.data())) return 0;

    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block.data(), "\\", &value, &length) && length == sizeof fixed_)
        std::memcpy(&fixed_, value, sizeof fixed_);

    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) || length < sizeof(DWORD))
        return 1;
    const DWORD translation = ChooseTranslation(value, length, language);

    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", LanguageOf(translation),
                  CodePageOf(translation));
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const std::string query = std::string(prefix) + kKeys[i];
        if (VerQueryValueA(block.data(), query.c_str(), &value, &length) && value)
            texts_[i] = static_cast<const char*>(value);
    }
    return 1;
}

std::string CompanyOrUnknown(CFileVersionInfo& reader, const char* path) {
    if (reader.ReadVersionInfo(path) != 1) return kUnknownCompany;
    const std::string company = reader.GetCompanyName();
    return company.empty() ? kUnknownCompany : company;
}

int CFileVersionInfo::FindTranslation(const void* table, UINT length, WORD language, DWORD* found,
                                       bool lowBytePass) {
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
    if (search([&](WORD candidate) { return candidate == language; })) return 1;
    if (!lowBytePass) return 0;
    return search([&](WORD candidate) { return LOBYTE(candidate) == LOBYTE(language); }) ? 1 : 0;
}

DWORD CFileVersionInfo::ChooseTranslation(const void* table, UINT length, LANGID language) {
    DWORD found = 0;
    if (FindTranslation(table, length, language, &found, false)) return found;
    if (FindTranslation(table, length, language, &found, true)) return found;
    if (FindTranslation(table, length, LANG_NEUTRAL, &found, true)) return found;
    if (FindTranslation(table, length, LANG_ENGLISH, &found, true)) return found;
    std::memcpy(&found, table, sizeof found);
    return found;
}
