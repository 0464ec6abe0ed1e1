#pragma once
#include <windows.h>

#include <vector>

#include "win/Scoped.h"

namespace ready {

// Holds the programs that the ready-start started still while the person's
// own program is busy, and lets them go again: every thread of theirs that
// this process may suspend is suspended once and resumed once. Owned by the
// ready-start's thread, which resumes them on every way out.
class ProgramPause {
public:
    ProgramPause() = default;
    ~ProgramPause() { Resume(); }
    ProgramPause(const ProgramPause&) = delete;
    ProgramPause& operator=(const ProgramPause&) = delete;

    // Keeps a handle of a started program (the pause needs it to be sure
    // that a process id still names that program).
    void Add(HANDLE process);
    // Suspends the threads of every kept program still running; nothing when already paused.
    void Pause();
    void Resume();
    bool Paused() const { return paused_; }

private:
    void PauseProcess(HANDLE process);

    std::vector<win::UniqueHandle> processes_;
    std::vector<win::UniqueHandle> suspended_;
    bool paused_ = false;
};

}  // namespace ready
