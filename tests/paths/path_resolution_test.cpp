// Turning typed editor paths into executable paths, with the system's answers played by the test.

#include <gtest/gtest.h>

#include <map>

#include "paths/path_resolution.h"

namespace {

struct FakeSystem {
    std::wstring home = L"F:\\host";
    std::map<std::wstring, std::wstring> aliases;
    std::map<std::wstring, std::wstring> variables;  // "%NAME%" -> value
    int aliasLookups = 0;

    PathLookups Lookups() {
        PathLookups lookups;
        lookups.expandEnvVars = [this](const std::wstring& text) {
            std::wstring out = text;
            for (const auto& [name, value] : variables) {
                for (size_t at = out.find(name); at != std::wstring::npos; at = out.find(name, at + value.size()))
                    out.replace(at, name.size(), value);
            }
            return out;
        };
        lookups.hostHomeFolder = [this](const std::wstring& name) {
            return name == L"home" ? home : std::wstring();
        };
        lookups.findAlias = [this](const std::wstring& name) -> const std::wstring* {
            ++aliasLookups;
            auto found = aliases.find(name);
            return found == aliases.end() ? nullptr : &found->second;
        };
        return lookups;
    }
    std::wstring Resolve(const std::wstring& path) { return ResolveAliasPrefix(path, Lookups()); }
    std::wstring ResolveTyped(const std::wstring& path) { return ResolveEditorPathWith(path, Lookups()); }
};

}  // namespace

TEST(ResolvePath, HomeMatchesWithoutCaseAndSlashesTurnIntoBackslashesAfterTheReplacement) {
    FakeSystem system;
    EXPECT_EQ(system.Resolve(L"/HOME/viewers/Notepad4/Notepad4.exe"), L"F:\\host\\viewers\\Notepad4\\Notepad4.exe");
    EXPECT_EQ(system.Resolve(L"/home"), L"F:\\host");
    system.aliases[L"bin"] = L"D:/bin";
    EXPECT_EQ(system.Resolve(L"/Bin\\x/y.exe"), L"D:\\bin\\x\\y.exe");
}

TEST(ResolvePath, HomeComesBeforeTheAliasTableWhichServesOnlyWhenTheHostFolderIsUnknown) {
    FakeSystem system;
    system.aliases[L"home"] = L"T:\\table";
    EXPECT_EQ(system.Resolve(L"/home\\a.exe"), L"F:\\host\\a.exe");
    system.home.clear();
    EXPECT_EQ(system.Resolve(L"/home\\a.exe"), L"T:\\table\\a.exe");
}

TEST(ResolvePath, PathsThatCannotBeResolvedKeepTheirSlashes) {
    FakeSystem system;
    for (const wchar_t* path : {L"C:/Tools/a.exe", L"tools/a.exe", L"", L"/nope/a/b.exe", L"/", L"//x/y"})
        EXPECT_EQ(system.Resolve(path), path);
}

TEST(ResolvePath, AnEmptyLabelServesJustASlashAndADoubleSlash) {
    FakeSystem system;
    system.aliases[L""] = L"E:\\empty";
    EXPECT_EQ(system.Resolve(L"/"), L"E:\\empty");
    EXPECT_EQ(system.Resolve(L"//x/y"), L"E:\\empty\\x\\y");
}

TEST(ResolvePath, ReplacementsStartingWithAnAliasAreResolvedAgainForAtMostTwentyPasses) {
    FakeSystem system;
    system.aliases[L"tools"] = L"/home/tools";
    EXPECT_EQ(system.Resolve(L"/tools/a.exe"), L"F:\\host\\tools\\a.exe");

    system.aliases[L"a"] = L"/b/";
    system.aliases[L"b"] = L"/a/";
    system.aliasLookups = 0;
    // Each pass adds one slash to the rest: the count of slashes shows the number of passes.
    EXPECT_EQ(system.Resolve(L"/a"), L"/a" + std::wstring(20, L'/'));
    EXPECT_EQ(system.aliasLookups, 20);
}

TEST(ResolvePath, AnEmptyReplacementWithNoRestGivesTheEmptyPath) {
    FakeSystem system;
    system.aliases[L"e"] = L"";
    EXPECT_EQ(system.Resolve(L"/e"), L"");
    EXPECT_EQ(system.Resolve(L"/e\\x/y"), L"\\x\\y");
}

TEST(ResolveEditorPath, QuotesThenVariablesThenAliasesAndNoVariablesInsideAliasFolders) {
    FakeSystem system;
    system.variables[L"%TOOLS%"] = L"/tools";
    system.variables[L"%ROOT%"] = L"R:";
    system.aliases[L"tools"] = L"%ROOT%/t";
    EXPECT_EQ(system.ResolveTyped(L"\"%TOOLS%/a.exe\""), L"%ROOT%\\t\\a.exe");
    EXPECT_EQ(system.ResolveTyped(L"\"/home\\a.exe\""), L"F:\\host\\a.exe");
    EXPECT_EQ(system.ResolveTyped(L"%ROOT%/a.exe"), L"R:/a.exe");
}

TEST(ResolveEditorPath, OnlyAPairOfSurroundingQuotesIsRemoved) {
    EXPECT_EQ(StripSurroundingQuotes(L"\"C:\\a b\\e.exe\""), L"C:\\a b\\e.exe");
    EXPECT_EQ(StripSurroundingQuotes(L"\"\""), L"");
    EXPECT_EQ(StripSurroundingQuotes(L"\""), L"\"");
    EXPECT_EQ(StripSurroundingQuotes(L"\"C:\\e.exe"), L"\"C:\\e.exe");
    EXPECT_EQ(StripSurroundingQuotes(L"C:\\e.exe\""), L"C:\\e.exe\"");
}

TEST(ExpandEnvVars, TheExpansionIsUsedOnlyWhenItSucceededAndFitInto32767Units) {
    int calls = 0;
    unsigned long answer = 0;
    unsigned long capacitySeen = 0;
    ExpandFn expand = [&](const wchar_t*, wchar_t* destination, unsigned long capacity) {
        ++calls;
        capacitySeen = capacity;
        destination[0] = L'X';
        return answer;
    };
    EXPECT_EQ(ExpandEnvVarsWith(L"", expand), L"");
    EXPECT_EQ(ExpandEnvVarsWith(L"C:\\no variables", expand), L"C:\\no variables");
    EXPECT_EQ(calls, 0);
    for (unsigned long result : {0ul, 32768ul, 40000ul}) {
        answer = result;
        EXPECT_EQ(ExpandEnvVarsWith(L"%A%", expand), L"%A%") << result;
    }
    for (unsigned long result : {1ul, 32767ul}) {
        answer = result;
        EXPECT_EQ(ExpandEnvVarsWith(L"%A%", expand), L"X") << result;
    }
    EXPECT_EQ(capacitySeen, 32767ul);
}

TEST(GetHostHomeFolder, TheModulePathCutBeforeItsLastSeparatorWhenItFit) {
    EXPECT_EQ(HostFolderFromModulePath(L"C:\\host\\dopus.exe", 18), L"C:\\host");
    EXPECT_EQ(HostFolderFromModulePath(L"C:/host/dopus.exe", 17), L"C:/host");
    EXPECT_EQ(HostFolderFromModulePath(L"dopus.exe", 9), L"dopus.exe");
    EXPECT_EQ(HostFolderFromModulePath(L"C:\\host\\dopus.exe", 0), L"");
    std::wstring longPath = L"C:\\" + std::wstring(255, L'd') + L"\\x";
    EXPECT_EQ(HostFolderFromModulePath(longPath.c_str(), 259), longPath.substr(0, 258));
    EXPECT_EQ(HostFolderFromModulePath(longPath.c_str(), 260), L"");
}

TEST(ResolvePath, AliasThatRefersToItselfStopsAsSoonAsThePathPassesTheLongestWindowsPath) {
    FakeSystem system;
    system.aliases[L"loop"] = L"/loop\\" + std::wstring(5000, L'd');
    bool tooLong = false;
    EXPECT_EQ(ResolveAliasPrefix(L"/loop/x.exe", system.Lookups(), &tooLong), L"");
    EXPECT_TRUE(tooLong);
    EXPECT_LE(system.aliasLookups, 7);
    system.aliases[L"fits"] = L"C:\\" + std::wstring(32767 - 3 - 6, L'f');
    EXPECT_EQ(system.Resolve(L"/fits\\x.exe").size(), 32767u);
    EXPECT_EQ(ResolveAliasPrefix(L"/fits\\xy.exe", system.Lookups(), &tooLong), L"");
    EXPECT_TRUE(tooLong);
}
