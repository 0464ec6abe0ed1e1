#include "ui/LogOnTally.h"

#include <algorithm>

#include "resource.h"
#include "ui/NewcomerNotice.h"
#include "ui/ResourceText.h"

namespace ui {

namespace {

constexpr ULONGLONG kUnitsASecond = 10000000ULL;

ULONGLONG UnitsOf(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::wstring TwoDigits(ULONGLONG number) { return (number < 10 ? L"0" : L"") + std::to_wstring(number); }

// m:ss, and h:mm:ss past an hour, as a clock shows a time taken.
std::wstring Clock(ULONGLONG seconds) {
    if (seconds < 3600) return std::to_wstring(seconds / 60) + L':' + TwoDigits(seconds % 60);
    return std::to_wstring(seconds / 3600) + L':' + TwoDigits(seconds / 60 % 60) + L':' + TwoDigits(seconds % 60);
}

}  // namespace

ULONGLONG LogOnTally::ProcessCreation() {
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return Now();
    return UnitsOf(created);
}

ULONGLONG LogOnTally::Now() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return UnitsOf(now);
}

void LogOnTally::Open() {
    const std::lock_guard<std::mutex> guard(mutex_);
    ++open_;
}

void LogOnTally::Close() {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (open_ > 0) --open_;
}

bool LogOnTally::Busy() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return open_ > 0;
}

void LogOnTally::Record(const std::wstring& name, bool started, ULONGLONG at) {
    std::wstring shown = started ? std::wstring() : ShownName(name);
    const std::lock_guard<std::mutex> guard(mutex_);
    lastTried_ = std::max(lastTried_, at);
    if (!started) {
        failed_.push_back(std::move(shown));
        return;
    }
    ++started_;
    lastStarted_ = std::max(lastStarted_, at);
}

LogOnTally::Figures LogOnTally::Counted() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return FiguresLocked();
}

// Until the last start that worked; when none did, until the last one tried.
LogOnTally::Figures LogOnTally::FiguresLocked() const {
    const ULONGLONG last = lastStarted_ ? lastStarted_ : lastTried_;
    return Figures{started_, failed_.size(), last > since_ ? (last - since_) / kUnitsASecond : 0};
}

std::wstring LogOnTally::Summary(std::size_t room) const {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (lastTried_ == 0) return std::wstring();
    const Figures figures = FiguresLocked();
    const std::wstring count = std::to_wstring(figures.started);
    const std::wstring took = Clock(figures.secondsToLast);
    if (failed_.empty()) return ResourceText(IDS_SUMMARY_STARTED, {count, took}).substr(0, room);
    std::wstring names;
    for (const std::wstring& name : failed_) names += (names.empty() ? L"" : L", ") + name;
    const std::wstring failures = std::to_wstring(failed_.size());
    std::wstring text = ResourceText(IDS_SUMMARY_FAILED, {count, took, failures, names});
    if (text.size() <= room) return text;
    const std::wstring more = ResourceText(IDS_SUMMARY_MORE);
    std::size_t kept = names.size() - std::min(names.size(), text.size() - room + more.size());
    if (kept > 0 && IS_HIGH_SURROGATE(names[kept - 1])) --kept;  // never half a character
    names.resize(kept);
    return ResourceText(IDS_SUMMARY_FAILED, {count, took, failures, names + more}).substr(0, room);
}

}  // namespace ui
