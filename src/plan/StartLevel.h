#pragma once
#include <windows.h>

#include <optional>

namespace plan {

// When Pacewick starts one entry. Kept per account as a REG_DWORD of these
// numbers (the README lists them), so an administrator can read and set them
// with regedit; the numbers never change meaning.
enum class StartLevel : DWORD {
    AsSet = 0,       // follows the account's settings: ready-start, the delay or Manual
    AtLogOn = 1,     // as soon as Pacewick has taken over at its start
    WhenReady = 2,   // by the ready-start rule, the countdown as its deadline
    AfterDelay = 3,  // when the countdown ends
    OnlyByHand = 4,  // never by itself: Run and Run All start it
};
constexpr DWORD kHighestLevel = static_cast<DWORD>(StartLevel::OnlyByHand);

// A stored number as a level: anything out of range reads as AsSet.
StartLevel LevelFromNumber(DWORD number);

}  // namespace plan
