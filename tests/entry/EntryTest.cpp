// An entry's fields, and the list's rule for a name kept in several lists.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "TakeOverSupport.h"

namespace {

using enginetest::Entry;

TEST(StartupEntry, FieldsHold254CharactersAndReportLongerTexts) {
    StartupEntry entry;
    for (char* field : {entry.name, entry.command, entry.company}) std::memset(field, 'x', StartupEntry::kFieldSize);
    const std::string fits(254, 'a');
    EXPECT_TRUE(SetField(entry.name, fits.c_str()));
    EXPECT_EQ(fits, entry.name);
    EXPECT_FALSE(SetField(entry.command, std::string(255, 'b').c_str()));
    EXPECT_EQ('\0', entry.command[254]);  // never runs into the next field
    EXPECT_EQ('x', entry.company[0]);
}

TEST(EntryList, DuplicateRuleRelabelsExactNamesOnlyAndKeepsBothLists) {
    EntryList list;
    list.InsertFront(Entry("Tool", "C:\\Tool.exe"));
    list.InsertFront(Entry("Other", "C:\\Other.exe"));
    EXPECT_EQ(0, MarkPresentInBoth(list, "tool", ListBit(1)));  // letter case matters
    EXPECT_EQ(0, MarkPresentInBoth(list, "Too", ListBit(1)));   // whole names only
    EXPECT_EQ(1, MarkPresentInBoth(list, "Tool", ListBit(1)));
    const StartupEntry &other = *list.begin(), &tool = *std::next(list.begin());
    EXPECT_EQ(Origin::Both, tool.origin);
    EXPECT_EQ(ListBit(0) | ListBit(1), tool.lists);  // deleting it deletes from both keys
    EXPECT_STREQ("C:\\Tool.exe", tool.command);  // the first reading's command is kept
    EXPECT_EQ(Origin::CurrentUser, other.origin);
    EXPECT_EQ(ListBit(0), other.lists);
}

}  // namespace
