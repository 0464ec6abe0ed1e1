#pragma once
#include <windows.h>

namespace win {

// The UTC time now as one number of FILETIME units (100 ns since 1601), as a
// REG_QWORD holds it.
inline ULONGLONG FileTimeNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace win
