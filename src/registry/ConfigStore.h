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
    // A notice for each program that adds itself while Pacewick runs, unless switched off.
    static constexpr bool kDefaultNotifyNewcomers = true;

    CConfigStore() = default;
    CConfigStore(const CConfigStore&) = delete;
    CConfigStore& operator=(const CConfigStore&) = delete;

    void SetManual(int value) { manual_ = value; }
    void SetTimeDelay(DWORD milliseconds) { timeDelay_ = milliseconds; }
    void SetRestored(int value) { restored_ = value; }
    // The switches are kept from then on: written with the others (an account
    // that never chose one keeps its Config key as it was).
    void SetStartWhenReady(bool value) { startWhenReady_.Choose(value); }
    void SetNotifyNewcomers(bool value) { notifyNewcomers_.Choose(value); }
    int GetManual() const { return manual_; }
    DWORD GetTimeDelay() const { return timeDelay_; }
    int GetRestored() const { return restored_; }
    bool GetStartWhenReady() const { return startWhenReady_.on; }
    bool GetNotifyNewcomers() const { return notifyNewcomers_.on; }

    // Each setting from the Config key, or its default when the key, "Manual"
    // or the value itself is missing or not a REG_DWORD (of four bytes). 0, or
    // the status of the key or of "Manual" when they could not be read.
    DWORD ReadSettings();
    // Into the Config key, which is made when missing; one diagnostic line per value.
    void WriteSettings();

    // A switch that keeps its default, and leaves the Config key as it was,
    // until the account chooses it.
    struct Switch {
        bool on;
        bool chosen = false;
        void Choose(bool value) {
            on = value;
            chosen = true;
        }
    };

private:
    int manual_ = kDefaultManual;
    DWORD timeDelay_ = kDefaultTimeDelay;
    int restored_ = kDefaultRestored;
    Switch startWhenReady_{kDefaultStartWhenReady};
    Switch notifyNewcomers_{kDefaultNotifyNewcomers};
};
