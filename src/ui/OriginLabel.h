#pragma once
#include <string>

#include "entry/StartupEntry.h"
#include "resource.h"
#include "ui/ResourceText.h"

namespace ui {

// What the "Location" column says of where an entry came from.
inline std::wstring OriginLabel(Origin origin) {
    switch (origin) {
    case Origin::CurrentUser: return ResourceText(IDS_ORIGIN_CURRENT_USER);
    case Origin::AllUsers: return ResourceText(IDS_ORIGIN_ALL_USERS);
    case Origin::Both: return ResourceText(IDS_ORIGIN_BOTH);
    case Origin::TaskScheduler: return ResourceText(IDS_ORIGIN_TASK_SCHEDULER);
    case Origin::UserFolder: return ResourceText(IDS_ORIGIN_USER_FOLDER);
    case Origin::AllUsersFolder: return ResourceText(IDS_ORIGIN_ALL_USERS_FOLDER);
    }
    return std::wstring();
}

}  // namespace ui
