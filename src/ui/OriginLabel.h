#pragma once
#include "entry/StartupEntry.h"

namespace ui {

// What the "Location" column says of where an entry came from.
inline const char* OriginLabel(Origin origin) {
    switch (origin) {
    case Origin::CurrentUser: return "Current user start-up list";
    case Origin::AllUsers: return "all user start-up list";
    case Origin::Both: return "Present both in Current and all user startup";
    case Origin::TaskScheduler: return "Task Scheduler";
    case Origin::UserFolder: return "Current user startup folder";
    case Origin::AllUsersFolder: return "all user startup folder";
    }
    return "";
}

}  // namespace ui
