// The rules of the dialogs that need no window.

#include "ui/mapping_fields.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"
#include "ui/editor_search.h"

using testing_support::Wide2Utf8;

TEST(MappingFields, OnlyEmptyBackslashOrDriveTextIsAWindowsPath) {
    EXPECT_TRUE(IsWindowsPath(L""));
    EXPECT_TRUE(IsWindowsPath(L"C:\\Tools\\ed.exe"));
    EXPECT_TRUE(IsWindowsPath(L"\\\\server\\share\\ed.exe"));
    EXPECT_TRUE(IsWindowsPath(L"c:"));
    EXPECT_FALSE(IsWindowsPath(L"/home\\viewers\\Notepad4\\Notepad4.exe"));
    EXPECT_FALSE(IsWindowsPath(L"%ProgramFiles%\\ed.exe"));
    EXPECT_FALSE(IsWindowsPath(L"ed.exe"));
    EXPECT_FALSE(IsWindowsPath(L"C"));
    EXPECT_FALSE(IsWindowsPath(L"tools\\ed.exe"));
}

TEST(MappingFields, TabsAndLineBreaksWouldSplitARow) {
    EXPECT_FALSE(HasRowSeparator(L"txt; md"));
    EXPECT_TRUE(HasRowSeparator(L"a\tb"));
    EXPECT_TRUE(HasRowSeparator(L"a\nb"));
    EXPECT_TRUE(HasRowSeparator(L"a\rb"));
}

// What OK checks: the resolved path of every row; a relative one names no file.
TEST(MappingFields, RowsWhoseResolvedEditorIsNoFileAreNamedWithTheirGroup) {
    const std::vector<GroupMapping> rows = {{L"text", L"txt", L"/home\\ed.exe"},
                                            {L"code", L"c", L"C:\\Tools\\here.exe"},
                                            {L"web", L"htm", L"ed.exe"},
                                            {L"more", L"md", L"C:\\Tools\\gone.exe"}};
    auto resolve = [](const std::wstring& typed) {
        return typed.rfind(L"/home", 0) == 0 ? L"C:\\Host" + typed.substr(5) : typed;
    };
    auto exists = [](const std::wstring& path) { return path == L"C:\\Tools\\here.exe" || path == L"ed.exe"; };
    const std::vector<size_t> missing = MissingEditorRows(rows, resolve, exists);
    EXPECT_EQ(missing, (std::vector<size_t>{0, 2, 3}));
    EXPECT_EQ(MissingEditorsQuestion(rows, missing, resolve),
              L"These editors do not exist:\n\n  text: C:\\Host\\ed.exe\n  web: ed.exe\n  more: C:\\Tools\\gone.exe\n"
              L"\nFiles of their groups cannot be shown until the editor is there. Save anyway?");
}

TEST(EditorSearch, RegistryValuesLoseTheirQuotesAndIconIndex) {
    EXPECT_EQ(RegisteredFilePath(L"\"C:\\P F\\Notepad++\\notepad++.exe\",0"), L"C:\\P F\\Notepad++\\notepad++.exe");
    EXPECT_EQ(RegisteredFilePath(L" C:\\EmEditor\\EmEditor.exe,-101 "), L"C:\\EmEditor\\EmEditor.exe");
    EXPECT_EQ(RegisteredFilePath(L"C:\\a,b\\Notepad3.exe"), L"C:\\a,b\\Notepad3.exe");
    EXPECT_EQ(RegisteredFilePath(L"\"C:\\Tools"), L"C:\\Tools");
}

// Each place is asked for what it may hold; what exists is listed once, family by family.
TEST(EditorSearch, EveryPlaceIsAskedAndWhatExistsIsListedOnceByFamily) {
    EditorSearchPlaces places;
    places.appPaths = {L"\"C:\\Program Files\\Notepad++\\notepad++.exe\"", L"C:\\Other\\vim.exe"};
    places.programs = {{L"EverEdit 4.5", L"C:\\Apps\\EE\\", L""},
                       {L"Rizonesoft Notepad3", L"", L"\"C:\\N3\\Notepad3.exe\",0"},
                       {L"Some Tool", L"C:\\Tool", L"C:\\Tool\\tool.exe"}};
    places.programFolders = {L"C:\\Program Files", L"D:\\Opus\\viewers"};
    places.pathFolders = {L"\\\\server\\bin", L"\"C:\\Bin\"", L"relative"};
    std::vector<std::wstring> asked;
    const std::vector<std::wstring> present = {
        L"C:\\Program Files\\Notepad++\\notepad++.exe", L"C:\\Apps\\EE\\EverEdit.exe", L"C:\\N3\\Notepad3.exe",
        L"D:\\Opus\\viewers\\Notepad4\\Notepad4.exe", L"C:\\Bin\\Notepad4.exe", L"C:\\Bin\\Notepad++.exe"};
    auto exists = [&](const std::wstring& path) {
        asked.push_back(path);
        return std::find(present.begin(), present.end(), path) != present.end();
    };
    const std::vector<FoundEditor> found = FindEditors(places, exists);
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"Notepad4", L"D:\\Opus\\viewers\\Notepad4\\Notepad4.exe"},
        {L"Notepad4", L"C:\\Bin\\Notepad4.exe"},
        {L"Notepad3", L"C:\\N3\\Notepad3.exe"},
        {L"Notepad++", L"C:\\Program Files\\Notepad++\\notepad++.exe"},
        {L"Notepad++", L"C:\\Bin\\Notepad++.exe"},
        {L"EverEdit", L"C:\\Apps\\EE\\EverEdit.exe"},
    };
    ASSERT_EQ(found.size(), expected.size());
    for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].name, expected[i].first) << i;
        EXPECT_EQ(found[i].path, expected[i].second) << i;
    }
    // Program Files' own Notepad++ is asked once; the share and the relative entry never.
    EXPECT_EQ(std::count(asked.begin(), asked.end(), L"C:\\Program Files\\Notepad++\\Notepad++.exe") +
                  std::count(asked.begin(), asked.end(), L"C:\\Program Files\\Notepad++\\notepad++.exe"),
              1);
    for (const std::wstring& path : asked) {
        EXPECT_NE(path.rfind(L"\\\\", 0), 0u) << Wide2Utf8(path);
        EXPECT_NE(path.rfind(L"relative", 0), 0u) << Wide2Utf8(path);
    }
}
