// The rules of the dialogs that need no window.

#include "ui/mapping_fields.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ui/editor_search.h"

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

TEST(EditorSearch, RegistryValuesLoseTheirQuotesAndIconIndex) {
    EXPECT_EQ(RegisteredFilePath(L"\"C:\\P F\\Notepad++\\notepad++.exe\",0"), L"C:\\P F\\Notepad++\\notepad++.exe");
    EXPECT_EQ(RegisteredFilePath(L" C:\\EmEditor\\EmEditor.exe,-101 "), L"C:\\EmEditor\\EmEditor.exe");
    EXPECT_EQ(RegisteredFilePath(L"C:\\a,b\\Notepad3.exe"), L"C:\\a,b\\Notepad3.exe");
}

// Each place is asked for what it may hold (never a share); what exists is listed once, by family.
TEST(EditorSearch, EveryPlaceIsAskedAndWhatExistsIsListedOnceByFamily) {
    EditorSearchPlaces places;
    places.appPaths = {L"\"C:\\Program Files\\Notepad++\\notepad++.exe\"", L"C:\\Other\\vim.exe"};
    places.programs = {{L"EverEdit 4.5", L"C:\\Apps\\EE\\", L""},
                       {L"Rizonesoft Notepad3", L"", L"\"C:\\N3\\Notepad3.exe\",0"},
                       {L"Some Tool", L"C:\\Tool", L"C:\\Tool\\tool.exe"}};
    places.programFolders = {L"C:\\Program Files", L"D:\\Opus\\viewers"};
    places.pathFolders = {L"\\\\server\\bin", L"\"C:\\Bin\"", L"relative"};
    const std::vector<std::wstring> present = {
        L"C:\\Program Files\\Notepad++\\notepad++.exe", L"C:\\Apps\\EE\\EverEdit.exe", L"C:\\N3\\Notepad3.exe",
        L"D:\\Opus\\viewers\\Notepad4\\Notepad4.exe", L"C:\\Bin\\Notepad4.exe", L"C:\\Bin\\Notepad++.exe",
        L"\\\\server\\bin\\Notepad4.exe", L"relative\\Notepad4.exe"};
    std::wstring listed;
    for (const FoundEditor& editor : FindEditors(places, [&](const std::wstring& path) {
             return std::find(present.begin(), present.end(), path) != present.end();
         }))
        listed += editor.name + L": " + editor.path + L"\n";
    EXPECT_EQ(listed,
              L"Notepad4: D:\\Opus\\viewers\\Notepad4\\Notepad4.exe\nNotepad4: C:\\Bin\\Notepad4.exe\n"
              L"Notepad3: C:\\N3\\Notepad3.exe\nNotepad++: C:\\Program Files\\Notepad++\\notepad++.exe\n"
              L"Notepad++: C:\\Bin\\Notepad++.exe\nEverEdit: C:\\Apps\\EE\\EverEdit.exe\n");
}
