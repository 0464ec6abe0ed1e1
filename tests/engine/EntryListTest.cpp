#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "engine/EntryList.h"
#include "engine/StartupManager.h"

namespace {

StartupEntry Entry(const std::string& name, const char* originLabel = origin::kCurrentUser) {
    StartupEntry entry;
    SetField(entry.name, name.c_str());
    SetField(entry.command, ("C:\\" + name + ".exe").c_str());
    SetField(entry.company, "Unknown");
    SetField(entry.origin, originLabel);
    return entry;
}

std::vector<std::string> Names(const EntryList& list) {
    std::vector<std::string> names;
    for (const StartupEntry& entry : list) names.emplace_back(entry.name);
    return names;
}

TEST(EntryList, InsertsAtTheFrontAndCopiesSurviveAClear) {
    EntryList list;
    for (const char* name : {"first", "second", "third"}) list.InsertFront(Entry(name));
    EXPECT_EQ((std::vector<std::string>{"third", "second", "first"}), Names(list));

    const EntryList copy = list;
    list.Clear();
    list.InsertFront(Entry("other"));
    EXPECT_EQ((std::vector<std::string>{"third", "second", "first"}), Names(copy));
    EXPECT_EQ(1u, list.Count());

    EntryList empty;
    const EntryList emptyCopy = empty;
    empty.Clear();
    EXPECT_TRUE(emptyCopy.Empty());
}

TEST(StartupEntry, FieldsHold254CharactersAndReportLongerTexts) {
    StartupEntry entry;
    std::memset(static_cast<void*>(&entry), 'x', sizeof entry);
    const std::string fits(254, 'a');
    EXPECT_TRUE(SetField(entry.name, fits.c_str()));
    EXPECT_EQ(fits, entry.name);

    const std::string tooLong(255, 'b');
    EXPECT_FALSE(SetField(entry.command, tooLong.c_str()));
    EXPECT_EQ('\0', entry.command[254]);  // never runs into the next field
    EXPECT_EQ('x', entry.company[0]);
    EXPECT_EQ(fits, entry.name);
}

TEST(StartupManager, DuplicateRuleRelabelsExactNamesOnly) {
    CStartupManager* manager = CStartupManager::GetInstance();
    EntryList& list = manager->List();
    list.Clear();
    list.InsertFront(Entry("Tool"));
    list.InsertFront(Entry("Other"));

    EXPECT_EQ(0, manager->MarkPresentInBoth("tool"));  // letter case matters
    EXPECT_EQ(0, manager->MarkPresentInBoth("Too"));   // whole names only
    EXPECT_EQ(1, manager->MarkPresentInBoth("Tool"));
    const StartupEntry& other = *list.begin();
    const StartupEntry& tool = *std::next(list.begin());
    EXPECT_STREQ(origin::kBoth, tool.origin);
    EXPECT_STREQ("C:\\Tool.exe", tool.command);  // the first reading's command is kept
    EXPECT_STREQ(origin::kCurrentUser, other.origin);
    list.Clear();
}

}  // namespace
