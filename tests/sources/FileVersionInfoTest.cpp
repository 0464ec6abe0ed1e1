#include <gtest/gtest.h>

#include <string>

#include "TestHelpers.h"
#include "sources/FileVersionInfo.h"

namespace {

std::string Fixture(const char* file) { return FixtureDir() + "\\" + file; }

constexpr LANGID kGerman = 0x0407;
constexpr LANGID kEnglishUs = 0x0409;

std::string CompanyFor(const char* file, LANGID language) {
    CFileVersionInfo info;
    EXPECT_EQ(1, info.ReadVersionInfo(Fixture(file).c_str(), language)) << file;
    return info.GetCompanyName();
}

// The program shows the company name of each entry's program file, read by one
// reader for many files.
TEST(FileVersionInfo, ChoosesTheCompanyByTheFiveRulesAndNothingSurvivesAReread) {
    // Rule 1: the exact language, even when another entry comes first.
    EXPECT_EQ("Company 0409", CompanyFor("ver_de_en.dll", kEnglishUs));
    // Rule 2: another variety of the user's language (Austrian German).
    EXPECT_EQ("Company 0407", CompanyFor("ver_de_en.dll", 0x0C07));
    // Rule 3: neutral comes before English.
    EXPECT_EQ("Company 0000", CompanyFor("ver_neutral_en.dll", kGerman));
    // Rule 4: English when nothing fits the user.
    EXPECT_EQ("Company 0409", CompanyFor("ver_en_us.dll", kGerman));
    // Rule 5: the first entry when nothing else fits.
    EXPECT_EQ("Company 0411", CompanyFor("ver_ja.dll", kEnglishUs));
    // A translation table cut inside its last entry is not read past its end.
    const WORD table[] = {0x0807, 0x04E4, 0x0409, 0x04B0, 0x0007, 0x0000};
    DWORD found = 0;
    EXPECT_EQ(0, CFileVersionInfo::FindTranslation(table, 10, 0x0007, &found, false));

    CFileVersionInfo info;
    EXPECT_EQ(1, info.ReadVersionInfo(Fixture("ver_nocompany.dll").c_str(), kEnglishUs));
    EXPECT_EQ("", info.GetCompanyName());
    EXPECT_EQ("no company here", info.GetText(1)) << "not the fixture's block";
    // A file without any version resource, then one that does not exist: nothing left of the last.
    for (const char* missing : {"ver_none.dll", "no such file.dll"}) {
        ASSERT_EQ(1, info.ReadVersionInfo(Fixture("ver_en_us.dll").c_str(), kEnglishUs));
        EXPECT_EQ("Company 0409", info.GetCompanyName());
        EXPECT_EQ(0, info.ReadVersionInfo(Fixture(missing).c_str(), kEnglishUs)) << missing;
        EXPECT_EQ("", info.GetCompanyName()) << missing;
    }
}

}  // namespace
