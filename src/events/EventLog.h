#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "events/PacewickEvents.h"  // the event ids, made from res/events.mc

// The Application log's entries of Pacewick ("Pacewick") and of its keeper
// service ("Pacewick Keeper"). Each event's sentence is in the message table
// built into the source's executable, so that Event Viewer shows it whole; an
// event carries only its id, its type and its insertion strings.
namespace events {

constexpr const wchar_t* kProgramSource = L"Pacewick";
constexpr const wchar_t* kKeeperSource = L"Pacewick Keeper";

enum class Type : WORD {
    Information = EVENTLOG_INFORMATION_TYPE,
    Warning = EVENTLOG_WARNING_TYPE,
    Error = EVENTLOG_ERROR_TYPE,
};

// Where events go: the Event Log, or a recorder in tests. Passed to what
// reports them; null means none are reported.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void Report(DWORD id, Type type, const std::vector<std::wstring>& strings) = 0;
};

// The longest insertion string made of another's text, in UTF-16 units: a
// whole Run value's command fits, a name made to fill the log does not.
constexpr std::size_t kMaxInsertion = 300;

// Another's text (a program's name, its command) as an insertion string: each
// control character and each mark that breaks or reorders a line shown as
// U+FFFD, cut to kMaxInsertion units on a character's boundary and marked.
std::wstring InsertionText(const std::wstring& text);
std::wstring InsertionText(const std::string& utf8);

// The Event Log under one source's name; registered once, deregistered with it.
// When the source cannot be registered, every report is dropped.
class EventLog : public Sink {
public:
    explicit EventLog(const wchar_t* source) : handle_(RegisterEventSourceW(nullptr, source)) {}
    ~EventLog() override {
        if (handle_) DeregisterEventSource(handle_);
    }
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    void Report(DWORD id, Type type, const std::vector<std::wstring>& strings) override;

private:
    HANDLE handle_;
};

// The program's own events, for the code that knows their facts.
// A program that did not start: its name and command as the list shows them.
void ReportStartFailed(Sink* sink, const std::wstring& name, const std::wstring& command);
// A policy value (or a machine's default) left out for its type or range:
// the value's name and its place ("machine policy", "user policy", ...).
void ReportIgnoredPolicy(Sink* sink, const std::wstring& valueName, const std::wstring& place);
// The after-log-on summary's figures, one event per log-on.
void ReportLogonSummary(Sink* sink, unsigned long held, unsigned long started, unsigned long failed,
                        unsigned long secondsToLastStart);

}  // namespace events
