#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "win/ProtectedFolder.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace {

// The machine BackUp folder gets its rights again unless exactly them, protected (Wine: shown on descriptors).
TEST(ProtectedFolder, RightsAreKeptOnlyWhenExactlyTheProtectedOnes) {
    using Descriptor = win::Unique<win::LocalTraits<PSECURITY_DESCRIPTOR>>;
    const auto make = [](const wchar_t* sddl) {
        Descriptor descriptor;
        EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor.Put(),
                                                                         nullptr));
        return descriptor;
    };
    const std::wstring aces = L"(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
    const Descriptor wanted = make((L"D:P" + aces).c_str());
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(wanted.Get(), &present, &dacl, &defaulted));
    EXPECT_TRUE(win::IsProtectedDacl(wanted.Get(), dacl));
    for (const std::wstring& other : std::vector<std::wstring>{
             L"D:" + aces,                             // inheriting %ProgramData%'s rights too
             L"D:P" + aces + L"(A;OICI;0x1301bf;;;BU)",  // users may write
             L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",    // one less
             L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", L"O:BA"})
        EXPECT_FALSE(win::IsProtectedDacl(make(other.c_str()).Get(), dacl)) << win::Utf8ForDisplay(other);
}

}  // namespace
