#pragma once
#include <windows.h>

// Every key the program touches. The installer makes the Config and BackUp
// keys, Windows the Run keys. The program makes the current user's Config and
// BackUp keys only where they are missing (an account other than the
// installer's); it never creates a machine key.
namespace keys {

constexpr const wchar_t* kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kBackUp = L"software\\Quorvell Software\\Pacewick\\BackUp";
constexpr const wchar_t* kConfig = L"software\\Quorvell Software\\Pacewick\\Config";
// Each entry's start-up impact, measured in its first minute after a ready-start.
constexpr const wchar_t* kImpact = L"software\\Quorvell Software\\Pacewick\\Impact";
// Each entry's chosen start level (plan::PlanStore).
constexpr const wchar_t* kPlan = L"software\\Quorvell Software\\Pacewick\\Plan";
// Group Policy's place for Pacewick, in HKLM (the machine's) and HKCU (a user's),
// and the machine's defaults that the package's properties set.
constexpr const wchar_t* kPolicies = L"Software\\Policies\\Quorvell Software\\Pacewick";
constexpr const wchar_t* kDefaults = L"software\\Quorvell Software\\Pacewick\\Defaults";
// The day each program that added itself was last told of (ui::NoticeDays).
constexpr const wchar_t* kNotified = L"software\\Quorvell Software\\Pacewick\\Notified";

// The machine's program key, which only administrators and the system may
// write, and the value the system step of the package's removal sets there
// while it works (REG_QWORD: the UTC time, as a FILETIME, it began). Every
// Pacewick that sees it fresh ends as its Exit does, and one that starts then
// takes nothing over; the step deletes it when it ends, done or failed.
constexpr const wchar_t* kProgram = L"software\\Quorvell Software\\Pacewick";
constexpr const wchar_t* kRemovalStarted = L"RemovalStarted";

// The program's own value in the machine Run key.
constexpr const wchar_t* kSelfValueName = L"Pacewick";

// The machine's Run key for 32-bit programs, which Explorer starts at log-on
// too, and its BackUp key: both in the 32-bit registry view, named here as the
// 64-bit view shows them so that 32-bit and 64-bit builds find the same keys.
constexpr const wchar_t* kRun32 = L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kBackUp32 = L"Software\\WOW6432Node\\Quorvell Software\\Pacewick\\BackUp";

// Where Explorer keeps the switches that Task Manager's Startup page sets: a
// binary value of the entry's name whose first byte is odd marks it off.
constexpr const wchar_t* kApprovedRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr const wchar_t* kApprovedRun32 =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";
// The same switches for the files of a Startup folder, by file name (either hive).
constexpr const wchar_t* kApprovedStartupFolder =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
// The policies that tell Explorer not to start a whole Run list (DWORD 1, either hive).
constexpr const wchar_t* kExplorerPolicies = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const wchar_t* kDisableUserRun = L"DisableCurrentUserRun";
constexpr const wchar_t* kDisableMachineRun = L"DisableLocalMachineRun";

}  // namespace keys
