#include "events/EventLog.h"

#include "win/Text.h"

namespace events {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::wstring InsertionText(const std::wstring& text) {
    static const wchar_t kCut[] = L" [cut]";
    const std::size_t room = kMaxInsertion - (sizeof kCut / sizeof kCut[0] - 1);
    std::wstring out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const wchar_t unit = text[at];
        const bool pair = IsHighSurrogate(unit) && at + 1 < text.size() && IsLowSurrogate(text[at + 1]);
        const std::size_t units = pair ? 2 : 1;
        if (text.size() > kMaxInsertion && out.size() + units > room) return out + kCut;
        if (pair) {
            out.append(text, at, 2);
            ++at;
        } else {
            // A lone surrogate is no character either.
            out.push_back(win::BreaksLine(unit) || IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacement : unit);
        }
    }
    return out;
}

std::wstring InsertionText(const std::string& utf8) {
    const std::optional<std::wstring> wide = win::Wide(utf8);
    if (wide) return InsertionText(*wide);
    // Bytes that are no UTF-8: each one shown as the replacement character.
    std::wstring replaced;
    for (const char byte : utf8) replaced.push_back(static_cast<unsigned char>(byte) < 0x80 ? byte : kReplacement);
    return InsertionText(replaced);
}

void EventLog::Report(DWORD id, Type type, const std::vector<std::wstring>& strings) {
    if (!handle_) return;
    std::vector<LPCWSTR> pointers;
    for (const std::wstring& text : strings) pointers.push_back(text.c_str());
    // A lost event is not worth a line of its own: the file log and the window say the same.
    ReportEventW(handle_, static_cast<WORD>(type), 0, id, nullptr, static_cast<WORD>(pointers.size()), 0,
                 pointers.empty() ? nullptr : pointers.data(), nullptr);
}

void ReportStartFailed(Sink* sink, const std::wstring& name, const std::wstring& command) {
    if (sink) sink->Report(PACEWICK_EVENT_START_FAILED, Type::Warning, {InsertionText(name), InsertionText(command)});
}

void ReportIgnoredPolicy(Sink* sink, const std::wstring& valueName, const std::wstring& place) {
    if (sink) sink->Report(PACEWICK_EVENT_POLICY_IGNORED, Type::Warning, {InsertionText(valueName), place});
}

void ReportLogonSummary(Sink* sink, unsigned long held, unsigned long started, unsigned long failed,
                        unsigned long secondsToLastStart) {
    if (!sink) return;
    sink->Report(PACEWICK_EVENT_LOGON_SUMMARY, Type::Information,
                 {std::to_wstring(held), std::to_wstring(started), std::to_wstring(failed),
                  std::to_wstring(secondsToLastStart)});
}

}  // namespace events
