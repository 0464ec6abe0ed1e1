#pragma once
#include <windows.h>

// The three delay settings and the start mode, held in memory and read from / written to the
// current user's Config key. One per program, owned by its start-up and used
// on the window thread only.
class CConfigStore {
public:
    // What a setting that cannot be read counts as: never a delay of 0 ms,
    // which would start every program at once.
    static constexpr int kDefaultManual = 0;
    static constexpr DWORD kDefaultTimeDelay = 180000;
    static constexpr int kDefaultRestored = 0;
    // Starting as the delay ends unless the user chose "when the computer is ready".
    static constexpr bool kDefaultStartWhenReady = false;

    CConfigStore() = default;
    CConfigStore(const CConfigStore&) = delete;
    CConfigStore& operator=(const CConfigStore&) = delete;

    void SetManual(int value) { manual_ = value; }
    void SetTimeDelay(DWORD milliseconds) { timeDelay_ = milliseconds; }
    void SetRestored(int value) { restored_ = value; }
    // Kept from then on: written with the others (an account that never chose
    // the mode keeps its Config key as it was).
    void SetStartWhenReady(bool value) {
        startWhenReady_ = value;
        startWhenReadyKept_ = true;
    }
    int GetManual() const { return manual_; }
    DWORD GetTimeDelay() const { return timeDelay_; }
    int GetRestored() const { return restored_; }
    bool GetStartWhenReady() const { return startWhenReady_; }

    // Each setting from the Config key, or its default when the key, "Manual"
    // or the value itself is missing or not a REG_DWORD (of four bytes). 0, or
    // the status of the key or of "Manual" when they could not be read.
    DWORD ReadSettings();
    // Into the Config key, which is made when missing; one diagnostic line per value.
    void WriteSettings();

private:
    int manual_ = kDefaultManual;
    DWORD timeDelay_ = kDefaultTimeDelay;
    int restored_ = kDefaultRestored;
    bool startWhenReady_ = kDefaultStartWhenReady;
    bool startWhenReadyKept_ = false;
};
