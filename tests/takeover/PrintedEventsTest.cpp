// Each event's diagnostic line byte for byte, for a Run value and a folder file; the keeper log escapes controls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogRoot.h"
#include "TestHelpers.h"
#include "takeover/PrintedEvents.h"

namespace {

TEST(PrintedEvents, EachEventPrintsItsOwnLineAndAControlCharacterOfANameIsACodeInTheKeepersLog) {
    struct Row {
        ItemHappened what;
        const char* reason;
        const char* value;  // the line of a Run value named "100% %s é"
        const char* file;   // and of a Startup folder's file of that name
    };
    const Row rows[] = {
        {ItemHappened::Copied, nullptr, "Reg entry put SUCCESSFULLY!!\n", "Startup item copied: 100% %s é\n"},
        {ItemHappened::CopyFailed, nullptr, "Reg entry put UNSUCCESSFUL!!\n", "Startup item not copied: 100% %s é\n"},
        {ItemHappened::Deleted, nullptr, "Reg entry deleted SUCCESSFULLY!!\n", "Startup item deleted: 100% %s é\n"},
        {ItemHappened::DeleteFailed, nullptr, "Reg entry delete UNSUCCESSFULL!!\n",
         "Startup item not deleted: 100% %s é\n"},
        {ItemHappened::Kept, "it is switched off", "Reg entry kept, it is switched off: 100% %s é\n",
         "Startup item kept, it is switched off: 100% %s é\n"},
        {ItemHappened::NotListed, "its data cannot be read as text",
         "Entry not listed, its data cannot be read as text: 100% %s é\n",
         "Startup item not listed, its data cannot be read as text: 100% %s é\n"},
        {ItemHappened::LeftOnlyHeld, nullptr, "Reg entry left only in its BackUp key: 100% %s é\n",
         "Startup item left only in its BackUp folder: 100% %s é\n"},
    };
    takeover::PrintedEvents printed;
    for (const Row& row : rows)
        for (const auto& [kind, line] : {std::pair{ItemKind::RegistryValue, row.value}, {ItemKind::File, row.file}})
            for (const ItemPlace place : {ItemPlace::StartUp, ItemPlace::Held})
                EXPECT_EQ(line, OutputOf([&] { printed.Report({row.what, place, kind, 2, "100% %s é", row.reason}); }));

    // A walk's own lines, with the count or place its event gives.
    const std::pair<ItemHappened, const char*> walk[] = {
        {ItemHappened::SubkeysCounted, "\nNumber of subkeys: 7\n"},
        {ItemHappened::SubkeyFound, "(7) 100% %s é\n"},
        {ItemHappened::ValuesCounted, "\nNumber of values: 7\n"},
        {ItemHappened::ValueFound, "(7) 100% %s é (null)\n"},
    };
    for (const auto& [what, line] : walk) {
        ItemEvent event{what, ItemPlace::StartUp, ItemKind::RegistryValue, 2, "100% %s é", nullptr};
        event.number = 7;
        EXPECT_EQ(line, OutputOf([&] { printed.Report(event); }));
    }

    // The keeper service's lines go to its log, where a name cannot break its line.
    LogRoot log;
    ASSERT_TRUE(keeper::OpenLog(log.root));
    printed.Report({ItemHappened::Kept, ItemPlace::StartUp, ItemKind::RegistryValue, 1, "tool\r\nKeeper started\t",
                    "it cannot be listed"});
    keeper::CloseLog();
    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(1u, lines.size());
    const std::string escaped = "Reg entry kept, it cannot be listed: tool\\x0D\\x0AKeeper started\\x09";
    EXPECT_EQ(escaped, lines[0].substr(lines[0].find("] ") + 2)) << lines[0];
}

}  // namespace
