#pragma once
#include <windows.h>

// The three delay settings, held in memory and read from / written to the
// current user's Config key. Used on the window thread only.
class CConfigStore {
public:
    static CConfigStore* GetInstance();

    CConfigStore(const CConfigStore&) = delete;
    CConfigStore& operator=(const CConfigStore&) = delete;

    void SetManual(int value) { manual_ = value; }
    void SetTimeDelay(DWORD milliseconds) { timeDelay_ = milliseconds; }
    void SetRestored(int value) { restored_ = value; }
    int GetManual() const { return manual_; }
    DWORD GetTimeDelay() const { return timeDelay_; }
    int GetRestored() const { return restored_; }

    // 0, or the first nonzero registry status met.
    DWORD ReadSettings();
    void WriteSettings();

private:
    CConfigStore() = default;

    int manual_ = 0;
    DWORD timeDelay_ = 0;
    int restored_ = 0;
};
