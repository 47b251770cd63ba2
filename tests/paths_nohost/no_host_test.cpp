// Outside the host: a program that is not dopus.exe and exports nothing of the host's.

#include <gtest/gtest.h>

#include "host/host_services.h"
#include "paths/alias_resolver.h"
#include "support/test_support.h"

using namespace testing_support;

TEST(NoHost, NoAliasesFromTheFileAndHomeStaysUnresolved) {
    std::wstring folder = MakeTempDir(L"nohost");
    UseTempFolder(folder);
    EXPECT_EQ(FindHostModule(), nullptr);
    EXPECT_EQ(AliasResolver::Load(), 0u);
    EXPECT_EQ(AliasResolver::Load(), 0u);
    EXPECT_EQ(
        ReadLogEntries(folder + L"\\velloquin.log"),
        std::vector<std::wstring>{
            L"[AliasResolver::Load] AliasResolver: dopus.exe module not found (not in DOpus process?)"});
    EXPECT_EQ(GetHostHomeFolder(L"home"), L"");
    EXPECT_EQ(ResolveEditorPath(L"/home/viewers/a.exe"), L"/home/viewers/a.exe");
}
