// This log-on's starts summed up, with no window: counts, times, failed names, cuts.
#include <gtest/gtest.h>

#include <string>

#include "ui/LogOnTally.h"

namespace {

constexpr ULONGLONG kSecond = 10000000ULL;

TEST(LogOnTally, CountsTheStartsTimesTheLastAndNamesEachFailureSafelyWithinItsRoom) {
    const ULONGLONG since = 5000 * kSecond;
    ui::LogOnTally tally(since);
    tally.Open();
    tally.Open();
    EXPECT_EQ(tally.Summary(127), L"") << "nothing has started";
    tally.Record(L"First", true, since + 9 * kSecond);
    tally.Record(L"Ready one", true, since + 40 * kSecond);
    tally.Record(L"Ready two", true, since + 41 * kSecond);
    tally.Close();
    EXPECT_TRUE(tally.Busy()) << "a batch is still out";
    tally.Close();
    EXPECT_FALSE(tally.Busy());
    EXPECT_EQ(tally.Summary(127), L"3 started in 0:41");

    // A failure is not counted, nor does its time count while a start worked.
    tally.Record(L"Foo", false, since + 3700 * kSecond);
    EXPECT_EQ(tally.Summary(127), L"3 started in 0:41, 1 failed: Foo");
    tally.Record(L"Later", true, since + 3725 * kSecond);
    tally.Record(L"Bad\r\n%1 line\x202E", false, since + 3726 * kSecond);
    const std::wstring full = L"4 started in 1:02:05, 2 failed: Foo, Bad\uFFFD\uFFFD%1 line\uFFFD";
    EXPECT_EQ(tally.Summary(127), full) << "a name breaks no line and fills in nothing";
    EXPECT_EQ(tally.Summary(40), L"4 started in 1:02:05, 2 failed: Foo, ...");
    EXPECT_EQ(tally.Summary(full.size()), full) << "cut only when it does not fit";

    // A name as long as a list holds, cut to the tip's room; half a character never shows.
    tally.Record(std::wstring(300, L'x'), false, since);
    const std::wstring cut = tally.Summary(127);
    EXPECT_EQ(cut.size(), 127u);
    EXPECT_EQ(cut.substr(0, 55), L"4 started in 1:02:05, 3 failed: Foo, Bad\uFFFD\uFFFD%1 line\uFFFD, xxx");
    EXPECT_EQ(cut.substr(124), L"...");
    ui::LogOnTally emoji(since);
    emoji.Record(L"\U0001F600\U0001F600\U0001F600", false, since + 7200 * kSecond);
    EXPECT_EQ(emoji.Summary(36), L"0 started in 2:00:00, 1 failed: ...") << "none started: the last try's time";
}

}  // namespace
