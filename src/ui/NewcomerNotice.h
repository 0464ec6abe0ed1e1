#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

#include "entry/StartupEntry.h"
#include "plan/StartPlan.h"

namespace ui {

// The longest text a notice takes (NOTIFYICONDATAW's szInfo, its NUL aside).
constexpr std::size_t kNoticeUnits = 255;

// Another program's name as the window's lines show it: as the list shows it
// (cut to fit, unconvertible characters as U+FFFD), and each character that
// would break or reorder the line as U+FFFD too.
std::wstring ShownName(const std::wstring& name);

// What the notice says of a program that added itself: "NAME was added ...",
// then when Pacewick will start it, by the way its level goes under the
// account's settings (plan::RouteOf), so that it says what will happen. The
// name is shown by ShownName and cut, ending in "…", so that the whole fits
// kNoticeUnits.
std::wstring NoticeText(const StartupEntry& entry, plan::StartLevel level, const plan::Settings& settings);

// Which programs were told of today, kept under the account's key
// (keys::kNotified) so that one that adds itself again at every start is told
// of once a day across Pacewick's restarts: a REG_DWORD per name, the local
// day it was told of. Only today's names are kept.
class NoticeDays {
public:
    // A day's names beyond this many get no notice: the key stays small
    // whatever a program adds.
    static constexpr std::size_t kMaxNames = 100;

    explicit NoticeDays(HKEY root = HKEY_CURRENT_USER) : root_(root) {}

    // The local calendar day, as days since 1 January 1601.
    static DWORD Today();
    // True, with the name kept, when it was not told of on `today` and the key
    // keeps it; the names kept on every other day are forgotten meanwhile.
    bool Claim(const std::wstring& name, DWORD today) const;

private:
    HKEY root_;
};

}  // namespace ui
