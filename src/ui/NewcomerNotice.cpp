#include "ui/NewcomerNotice.h"

#include <algorithm>
#include <vector>

#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "resource.h"
#include "ui/ResourceText.h"
#include "win/Text.h"

namespace ui {

namespace {

constexpr ULONGLONG kFileTimeUnitsADay = 864000000000ULL;

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
    std::replace_if(shown.begin(), shown.end(), win::BreaksLine, L'\uFFFD');
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
