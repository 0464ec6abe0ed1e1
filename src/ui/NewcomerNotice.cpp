#include "ui/NewcomerNotice.h"

#include <algorithm>
#include <vector>

#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "resource.h"
#include "ui/ResourceText.h"

namespace ui {

namespace {

constexpr ULONGLONG kFileTimeUnitsADay = 864000000000ULL;

// Control characters (C0, DEL, C1) and the marks that break or reorder a line
// as shown: the line and paragraph separators, the direction marks, embeddings,
// overrides and isolates. A name holding one could fake a line of the notice.
bool BreaksLine(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

UINT SentenceOf(plan::Route route) {
    switch (route) {
    case plan::Route::AtStart: return IDS_NOTICE_AT_LOG_ON;
    case plan::Route::WhenReady: return IDS_NOTICE_WHEN_READY;
    case plan::Route::AtCountdownEnd: return IDS_NOTICE_AFTER_DELAY;
    default: return IDS_NOTICE_BY_HAND;
    }
}

}  // namespace

std::wstring ShownName(const std::wstring& name) {
    std::wstring shown = FitShown(name);
    std::replace_if(shown.begin(), shown.end(), BreaksLine, L'\uFFFD');
    return shown;
}

std::wstring NoticeText(const StartupEntry& entry, plan::StartLevel level, const plan::Settings& settings) {
    std::wstring name = ShownName(entry.name);
    const std::wstring when = ResourceText(SentenceOf(plan::RouteOf(level, settings)));
    std::wstring text = ResourceText(IDS_NOTICE_ADDED, {name, when});
    if (text.size() <= kNoticeUnits) return text;
    std::size_t kept = name.size() - std::min(name.size(), text.size() - kNoticeUnits + 1);  // room for the "…"
    if (kept > 0 && IS_HIGH_SURROGATE(name[kept - 1])) --kept;  // never half a character
    name.resize(kept);
    text = ResourceText(IDS_NOTICE_ADDED, {name + L'\u2026', when});
    return text.substr(0, kNoticeUnits);
}

DWORD NoticeDays::Today() {
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    now.wHour = now.wMinute = now.wSecond = now.wMilliseconds = 0;
    FILETIME midnight = {};
    if (!SystemTimeToFileTime(&now, &midnight)) return 0;
    const ULONGLONG units = (static_cast<ULONGLONG>(midnight.dwHighDateTime) << 32) | midnight.dwLowDateTime;
    return static_cast<DWORD>(units / kFileTimeUnitsADay);
}

bool NoticeDays::Claim(const std::wstring& name, DWORD today) const {
    registry::Key key;
    if (key.Create(root_, keys::kNotified, KEY_QUERY_VALUE | KEY_SET_VALUE) != ERROR_SUCCESS) return false;
    DWORD day = 0;
    if (key.ReadDword(name, &day) == ERROR_SUCCESS && day == today) return false;
    std::vector<std::wstring> names;
    key.ValueNames(&names);
    std::size_t todays = 0;
    for (const std::wstring& other : names) {
        if (key.ReadDword(other, &day) == ERROR_SUCCESS && day == today) ++todays;
        else key.DeleteValue(other);
    }
    return todays < kMaxNames && key.WriteDword(name, today) == ERROR_SUCCESS;
}

}  // namespace ui
