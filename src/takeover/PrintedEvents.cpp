#include "takeover/PrintedEvents.h"

#include "win/Diagnostics.h"

namespace takeover {

namespace {

struct Lines {
    const char* copied;
    const char* copyFailed;
    const char* deleted;
    const char* deleteFailed;
    const char* kept;          // reason, name
    const char* notListed;     // reason, name
    const char* leftOnlyHeld;  // name
};

constexpr Lines kValueLines = {
    "Reg entry put SUCCESSFULLY!!\n",       "Reg entry put UNSUCCESSFUL!!\n",
    "Reg entry deleted SUCCESSFULLY!!\n",   "Reg entry delete UNSUCCESSFULL!!\n",
    "Reg entry kept, %s: %s\n",             "Entry not listed, %s: %s\n",
    "Reg entry left only in its BackUp key: %s\n"};

constexpr Lines kFileLines = {
    "Startup item copied: %s\n",     "Startup item not copied: %s\n",
    "Startup item deleted: %s\n",    "Startup item not deleted: %s\n",
    "Startup item kept, %s: %s\n",   "Startup item not listed, %s: %s\n",
    "Startup item left only in its BackUp folder: %s\n"};

unsigned long Number(const ItemEvent& event) { return static_cast<unsigned long>(event.number); }

}  // namespace

void PrintedEvents::Report(const ItemEvent& event) {
    const Lines& lines = event.kind == ItemKind::File ? kFileLines : kValueLines;
    const char* name = event.name.c_str();
    const char* reason = event.reason ? event.reason : "";
    switch (event.what) {
    case ItemHappened::Copied: return PrintLine(lines.copied, name);
    case ItemHappened::CopyFailed: return PrintLine(lines.copyFailed, name);
    case ItemHappened::Deleted: return PrintLine(lines.deleted, name);
    case ItemHappened::DeleteFailed: return PrintLine(lines.deleteFailed, name);
    case ItemHappened::Kept: return PrintLine(lines.kept, reason, name);
    case ItemHappened::NotListed: return PrintLine(lines.notListed, reason, name);
    case ItemHappened::LeftOnlyHeld: return PrintLine(lines.leftOnlyHeld, name);
    // A walk's lines are the same for every kind of place.
    case ItemHappened::SubkeysCounted: return PrintLine("\nNumber of subkeys: %lu\n", Number(event));
    case ItemHappened::SubkeyFound: return PrintLine("(%lu) %s\n", Number(event), name);
    case ItemHappened::ValuesCounted: return PrintLine("\nNumber of values: %lu\n", Number(event));
    case ItemHappened::ValueFound: return PrintLine("(%lu) %s (null)\n", Number(event), name);
    }
}

}  // namespace takeover
