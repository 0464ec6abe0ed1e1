// An entry's texts and their bound, the list of entries and its duplicate rule.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "TakeOverSupport.h"

namespace {

using namespace enginetest;
using S = RegistrySandbox;

const std::wstring kPair = L"\U0001F600";  // one character, two UTF-16 units, four bytes of UTF-8

TEST(EntryText, FitsUpTo254BytesOfUtf8AndShowsALongerTextCutBetweenCharacters) {
    for (const auto& [text, fits] : {std::pair{std::wstring(253, L'a'), true},
                                     {std::wstring(254, L'a'), true},
                                     {std::wstring(255, L'a'), false},
                                     {std::wstring(127, L'\u00E9'), true},            // 254 bytes in 127 units
                                     {std::wstring(127, L'\u00E9') + L"a", false},
                                     {std::wstring(250, L'a') + kPair, true},          // the pair ends at 254
                                     {std::wstring(251, L'a') + kPair, false},         // ... or crosses it
                                     {std::wstring(L"x\xD800y"), false}})              // no UTF-8 for it
        EXPECT_EQ(fits, FitsEntry(text)) << text.size() << " units";

    // What the list shows of a Startup item's long name: never half a character.
    EXPECT_EQ(std::wstring(254, L'a'), FitShown(std::wstring(300, L'a')));
    EXPECT_EQ(std::wstring(251, L'a'), FitShown(std::wstring(251, L'a') + kPair + L"b"));
    EXPECT_EQ(std::wstring(127, L'\u00E9'), FitShown(std::wstring(128, L'\u00E9')));
    EXPECT_EQ(L"x\uFFFDy", FitShown(std::wstring(L"x\xD800y")));
    // A company read from a file: its first 254 bytes, a cut character shown as such.
    const std::wstring company = FitShown(std::string(253, 'a') + "\xC3\xA9" + "tail");
    EXPECT_EQ(std::wstring(253, L'a') + L"\uFFFD", company);
    EXPECT_EQ(L"Acme \u5929\u6C17", FitShown(std::string("Acme \xE5\xA4\xA9\xE6\xB0\x97")));
}

// A Run value is taken over only when its name and command fit whole; listed exactly in any script.
TEST(EntryText, TheTakeOverListsRunValuesOfUpTo254BytesExactlyAndLeavesLongerOnes) {
    RegistrySandbox sandbox;
    const std::string mixed = "\xCE\xA9\xD0\x96\xE5\xA4\xA9\xF0\x9F\x98\x80";  // Greek, Cyrillic, CJK, a pair: 11 bytes
    const std::string fits = mixed + std::string(243, 'f');                      // 254 bytes
    const std::string over = mixed + std::string(244, 'o');                      // 255 bytes
    const std::string crossing = std::string(251, 'c') + "\xF0\x9F\x98\x80";     // 255 bytes, the pair across the bound
    const std::string command = "C:\\" + mixed + ".exe";
    for (const std::string& name : {fits, over, crossing}) S::PutText(kUser, keys::kRun, name.c_str(), command);
    S::PutText(kUser, keys::kRun, "Long command", "C:\\" + std::string(251, 'x'));  // 254 bytes: kept
    S::PutText(kUser, keys::kRun, "Longer command", "C:\\" + std::string(252, 'x'));
    TestEngine engine;
    OutputOf([&] { engine.manager.TakeOver(); });
    const EntryList listed = engine.List();
    ASSERT_EQ(2u, listed.Count());
    const StartupEntry& first = *listed.begin();
    const StartupEntry& second = *std::next(listed.begin());
    EXPECT_EQ(W(fits), first.name.size() > second.name.size() ? first.name : second.name);
    for (const StartupEntry& entry : listed)
        if (entry.name == W(fits)) EXPECT_EQ(W(command), entry.command);
        else EXPECT_EQ(W("C:\\" + std::string(251, 'x')), entry.command);
    EXPECT_EQ((Names{"Longer command", crossing, over}), Sorted(S::ValueNames(kUser, keys::kRun)));
}

// A folder item is known by its held file's name, a Run value by its name; the keeper rebuilds the same entry.
TEST(EntryIdentity, NamesTheHeldPlaceExactlyAndComesBackFromARequest) {
    const std::wstring longName = std::wstring(300, L'\u5929') + L".lnk";  // shown cut
    StartupEntry item;
    item.name = FitShown(longName);
    item.item = L"C:\\Data\\Pacewick\\StartupBackUp\\" + longName;
    item.lists = ListBit(3);
    EXPECT_EQ((EntryIdentity{ListBit(3), longName}), IdentityOf(item));
    StartupEntry other = item;  // the same shown name, another file
    other.item.back() = L'k' + 1;
    EXPECT_EQ(item.name, other.name);
    EXPECT_NE(IdentityOf(item), IdentityOf(other));

    StartupEntry value = Entry("Tool", "C:\\Tool.exe");
    EXPECT_EQ((EntryIdentity{ListBit(0), L"Tool"}), IdentityOf(value));
    EXPECT_NE(IdentityOf(value), IdentityOf(Entry("tool", "C:\\Tool.exe")));  // letter case counts
    value.lists |= ListBit(1);
    EXPECT_NE(IdentityOf(value), IdentityOf(Entry("Tool", "C:\\Tool.exe")));

    for (const EntryIdentity& identity : {EntryIdentity{ListBit(1), L"Tool"},
                                          EntryIdentity{ListBit(3), longName},
                                          EntryIdentity{ListBit(2), L"Vendor\\Updater"},  // no file's name
                                          EntryIdentity{ListBit(1) | ListBit(2), W("\xCE\xA9\xD0\x96 \xF0\x9F\x98\x80")}}) {
        const StartupEntry entry = EntryOf(identity);
        EXPECT_EQ(identity, IdentityOf(entry)) << U8(identity.name);
        EXPECT_TRUE(FitsEntry(entry.name));  // what the lines and the log show of it
        EXPECT_EQ(0u, identity.name.rfind(entry.name, 0));
    }
}

TEST(EntryList, KeepsItsOrderWhicheverWayEntriesArePut) {
    const auto names = [](const EntryList& list) {
        std::string joined;
        for (std::size_t i = 0; i < list.Count(); ++i) joined += U8(list[i].name);
        return joined;
    };
    const auto listOf = [](const std::string& letters) {
        EntryList list;
        for (auto letter = letters.rbegin(); letter != letters.rend(); ++letter)
            list.InsertFront(Entry(std::string(1, *letter), "C:\\x.exe"));
        return list;
    };
    EntryList list = listOf("ade");
    EXPECT_EQ("ade", names(list));
    const EntryList middle = listOf("xbcy");
    list.Insert(std::next(list.begin()), std::next(middle.begin()), std::prev(middle.end()));
    EXPECT_EQ("abcde", names(list));
    list.Append(listOf("fg"));
    EXPECT_EQ("abcdefg", names(list));
    EntryList rows = listOf("0123456789");
    rows.Assign(listOf("TU"), list);
    EXPECT_EQ("TUabcdefg", names(rows));
    EXPECT_EQ(9u, rows.Count());
}

TEST(EntryList, DuplicateRuleRelabelsExactNamesOnlyAndKeepsBothLists) {
    EntryList list;
    list.InsertFront(Entry("Tool", "C:\\Tool.exe"));
    list.InsertFront(Entry("Other", "C:\\Other.exe"));
    EXPECT_EQ(0, MarkPresentInBoth(list, L"tool", ListBit(1)));  // letter case matters
    EXPECT_EQ(0, MarkPresentInBoth(list, L"Too", ListBit(1)));   // whole names only
    EXPECT_EQ(1, MarkPresentInBoth(list, L"Tool", ListBit(1)));
    const StartupEntry &other = *list.begin(), &tool = *std::next(list.begin());
    EXPECT_EQ(Origin::Both, tool.origin);
    EXPECT_EQ(ListBit(0) | ListBit(1), tool.lists);  // deleting it deletes from both keys
    EXPECT_EQ(L"C:\\Tool.exe", tool.command);  // the first reading's command is kept
    EXPECT_EQ(Origin::CurrentUser, other.origin);
    EXPECT_EQ(ListBit(0), other.lists);
}

}  // namespace
