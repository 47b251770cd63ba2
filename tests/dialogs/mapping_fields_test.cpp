// The rules of the dialogs that need no window.

#include "ui/mapping_fields.h"

#include <gtest/gtest.h>

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
