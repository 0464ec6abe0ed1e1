// The ADMX and ADML files the package installs: every policy of the table, as the table says it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "policy/PolicyTable.h"
#include "registry/RegistryKeys.h"
#include "win/ModulePath.h"
#include "win/Text.h"

namespace {

// A copy of installer/policy beside the test program (tests/CMakeLists.txt).
std::string Read(const wchar_t* name) {
    std::ifstream file(win::BesideExecutable(name).c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string Narrow(const wchar_t* text) { return win::Utf8ForDisplay(text); }

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(PolicyDefinitions, TheAdmxAndAdmlSayWhatTheTableSays) {
    const std::string admx = Read(L"policy\\Pacewick.admx"), adml = Read(L"policy\\en-US\\Pacewick.adml");
    ASSERT_FALSE(admx.empty());
    ASSERT_FALSE(adml.empty());
    const std::string key = Narrow(keys::kPolicies);
    EXPECT_EQ(Count(admx, "<policy "), policy::kPolicyCount);
    for (const policy::Policy& row : policy::kPolicyTable) {
        const std::string name = Narrow(row.valueName);
        const std::size_t begin = admx.find("<policy name=\"" + name + "\"");
        ASSERT_NE(begin, std::string::npos) << name;
        const std::string block = admx.substr(begin, admx.find("</policy>", begin) - begin);
        const char* classes = row.classes == policy::kBothClasses ? "Both" : row.classes == policy::kMachineClass ? "Machine" : "User";
        EXPECT_NE(block.find(std::string("class=\"") + classes + "\""), std::string::npos) << name;
        EXPECT_NE(block.find("key=\"" + key + "\""), std::string::npos) << name;
        EXPECT_NE(block.find("<parentCategory ref=\"Pacewick\" />"), std::string::npos) << name;
        EXPECT_NE(block.find("<supportedOn ref=\"SUPPORTED_Windows10\" />"), std::string::npos) << name;
        switch (row.kind) {
        case policy::Kind::Decimal:
            EXPECT_NE(block.find("valueName=\"" + name + "\" minValue=\"" + std::to_string(row.minimum) + "\" maxValue=\"" +
                                 std::to_string(row.maximum) + "\""),
                      std::string::npos)
                << name;
            EXPECT_NE(adml.find("<decimalTextBox refId=\"" + name + "\""), std::string::npos) << name;
            break;
        case policy::Kind::Switch:
            EXPECT_NE(block.find("valueName=\"" + name + "\">"), std::string::npos) << name;
            EXPECT_NE(block.find("<enabledValue>\r\n        <decimal value=\"1\" />"), std::string::npos) << name;
            EXPECT_NE(block.find("<disabledValue>\r\n        <decimal value=\"0\" />"), std::string::npos) << name;
            break;
        case policy::Kind::List:
            EXPECT_NE(block.find("<list id=\"" + name + "\" key=\"" + key + "\\" + name + "\" />"), std::string::npos) << name;
            EXPECT_NE(adml.find("<listBox refId=\"" + name + "\">"), std::string::npos) << name;
            break;
        }
        EXPECT_NE(adml.find("<string id=\"" + name + "\">" + row.displayName + "</string>"), std::string::npos) << name;
        EXPECT_NE(adml.find("<string id=\"" + name + "_Explain\">" + row.explanation + "</string>"), std::string::npos) << name;
    }
}

}  // namespace
