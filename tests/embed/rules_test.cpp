// The editor command line, the path check, the window rules of the captures and the editor kinds,
// computed without any window or process.

#include <gtest/gtest.h>

#include "editors/editor_kind.h"
#include "embed/command_line.h"
#include "embed/window_rules.h"
#include "viewer/start_failure.h"

TEST(EditorCommandLine, EachKindGetsItsSwitchesThenTheParametersAsStoredThenTheQuotedFile) {
    const std::wstring e = L"C:\\Tools\\ed.exe";
    const std::wstring f = L"C:\\My Files\\a b.txt";
    EXPECT_EQ(BuildEditorCommandLine(ProfileOf(EditorKind::Other), e, L"", f),
              L"\"C:\\Tools\\ed.exe\" \"C:\\My Files\\a b.txt\"");
    EXPECT_EQ(BuildEditorCommandLine(ProfileOf(EditorKind::Notepad3), e, L"", f),
              L"\"" + e + L"\" /n \"" + f + L"\"");
    EXPECT_EQ(BuildEditorCommandLine(ProfileOf(EditorKind::Notepad4), e, L"/x", f),
              L"\"" + e + L"\" /n /x \"" + f + L"\"");
    EXPECT_EQ(BuildEditorCommandLine(ProfileOf(EditorKind::NotepadPlusPlus), e, L"-x -y", f),
              L"\"" + e + L"\" -multiInst -nosession -x -y \"" + f + L"\"");
    EXPECT_EQ(BuildEditorCommandLine(ProfileOf(EditorKind::EverEdit), e, L"", f),
              L"\"" + e + L"\" -i \"" + f + L"\"");
    EXPECT_EQ(BuildEditorCommandLine(ProfileOf(EditorKind::EmEditor), e, L"", f),
              L"\"" + e + L"\" /sp \"" + f + L"\"");
    // Stored parameters are neither trimmed nor quoted; quotes in the paths are not escaped.
    EXPECT_EQ(BuildEditorCommandLine(ProfileOf(EditorKind::Other), e, L"  -a \"b\" ", f),
              L"\"" + e + L"\"   -a \"b\"  \"" + f + L"\"");
    EXPECT_EQ(BuildEditorCommandLine(ProfileOf(EditorKind::Other), L"C:\\a\"b.exe", L"", L"x\"y"),
              L"\"C:\\a\"b.exe\" \"x\"y\"");
}

TEST(EditorPathCheck, OnlyDriveRootedAndUncPathsAreAbsolute) {
    for (const wchar_t* path : {L"C:\\Tools\\ed.exe", L"c:/tools/ed.exe", L"\\\\server\\share\\ed.exe",
                                L"\\\\?\\C:\\ed.exe", L"Z:\\"})
        EXPECT_TRUE(IsAbsolutePath(path)) << testing::PrintToString(std::wstring(path));
    for (const wchar_t* path :
         {L"", L"ed.exe", L"Tools\\ed.exe", L"C:ed.exe", L"\\Tools\\ed.exe", L"/home/ed.exe",
          L"%EDITOR%\\ed.exe", L"\"C:\\Tools\\ed.exe\"", L" C:\\ed.exe", L"\\\\\\x", L"1:\\x"})
        EXPECT_FALSE(IsAbsolutePath(path)) << testing::PrintToString(std::wstring(path));
}

// The codes the launch cannot be made to meet here; the others are met in the loadfile tests.
TEST(EditorPathCheck, StartFailuresAreToldInPlainWordsAndUnknownOnesByNumber) {
    const std::pair<DWORD, const wchar_t*> cases[] = {
        {5, L"access to it is denied"},
        {216, L"this program is not made for this processor"},
        {740, L"it asks for administrator rights, which a preview cannot give"},
        {1260, L"a system policy blocks it"},
        {4294967295u, L"Windows refused to start it (error 4294967295)"},
    };
    for (const auto& c : cases) EXPECT_EQ(StartFailureReason(c.first), c.second) << c.first;
    EXPECT_EQ(StartFailureNote(L"", L"C:\\ed.exe", 2, L""),
              L"The editor could not be started: no file exists at this path\nC:\\ed.exe\n"
              L"Choose the editor for this file in the plug-in's settings.");
}

namespace {

WindowTraits MainWindow() {
    WindowTraits traits;
    traits.className = L"EditorFrame";
    traits.style = 0x14CF0000;  // WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS
    traits.visible = true;
    traits.width = 640;
    traits.height = 480;
    return traits;
}

}  // namespace

TEST(WindowRules, FirstTopWindowPassesOverSplashesCaptionsWithoutSystemMenuToolAndImeWindows) {
    EXPECT_TRUE(PassesFirstTopWindowRule(MainWindow()));
    WindowTraits splash = MainWindow();
    splash.style = 0x90000000;
    splash.titleEmpty = true;
    EXPECT_FALSE(PassesFirstTopWindowRule(splash));
    splash.titleEmpty = false;  // a titled popup is a candidate
    EXPECT_TRUE(PassesFirstTopWindowRule(splash));
    WindowTraits noSysMenu = MainWindow();
    noSysMenu.style = 0x00C00000;
    EXPECT_FALSE(PassesFirstTopWindowRule(noSysMenu));
    noSysMenu.style = 0x00800000;  // a border alone counts as a caption bit
    EXPECT_FALSE(PassesFirstTopWindowRule(noSysMenu));
    WindowTraits tool = MainWindow();
    tool.exStyle = 0x80;
    EXPECT_FALSE(PassesFirstTopWindowRule(tool));
    for (const wchar_t* name : {L"tooltips_class32", L"#32768", L"IME", L"MSCTFIME UI", L"Default IME"}) {
        WindowTraits excluded = MainWindow();
        excluded.className = name;
        EXPECT_FALSE(PassesFirstTopWindowRule(excluded)) << testing::PrintToString(std::wstring(name));
    }
    WindowTraits lowerCase = MainWindow();
    lowerCase.className = L"ime";  // class names are compared case-sensitively
    EXPECT_TRUE(PassesFirstTopWindowRule(lowerCase));
}

TEST(WindowRules, LargestTopWindowTakesHiddenCaptionedWindowsButKeepsItsOtherFilters) {
    EXPECT_TRUE(PassesLargestTopWindowRule(MainWindow()));
    WindowTraits hidden = MainWindow();
    hidden.visible = false;
    hidden.style = 0x04CF0000;  // a program started hidden keeps its captioned main window hidden
    EXPECT_TRUE(PassesLargestTopWindowRule(hidden));
    hidden.style = 0x84000000;  // hidden popup without caption
    EXPECT_FALSE(PassesLargestTopWindowRule(hidden));
    hidden.style = 0x04800000;  // a border is not a caption
    EXPECT_FALSE(PassesLargestTopWindowRule(hidden));
    WindowTraits narrow = MainWindow();
    narrow.width = 199;
    EXPECT_FALSE(PassesLargestTopWindowRule(narrow));
    narrow.width = 200;
    narrow.height = 199;
    EXPECT_FALSE(PassesLargestTopWindowRule(narrow));
    narrow.height = 200;
    EXPECT_TRUE(PassesLargestTopWindowRule(narrow));
    WindowTraits tool = MainWindow();
    tool.exStyle = 0x80;
    EXPECT_FALSE(PassesLargestTopWindowRule(tool));
    WindowTraits tip = MainWindow();
    tip.className = L"tooltips_class32";
    EXPECT_FALSE(PassesLargestTopWindowRule(tip));
}

TEST(WindowRules, AnEmEditorFrameNeedsOneCaptionBit) {
    EXPECT_TRUE(HasCaptionBit(0x00800000));
    EXPECT_TRUE(HasCaptionBit(0x00400000));
    EXPECT_FALSE(HasCaptionBit(0x90000000));
}

TEST(EditorKinds, OnlyTheFileNameCountsFoldedFromAToZ) {
    EXPECT_EQ(DetectEditorKind(L"C:\\Tools\\Notepad3.EXE"), EditorKind::Notepad3);
    EXPECT_EQ(DetectEditorKind(L"c:/tools/NOTEPAD3.exe"), EditorKind::Notepad3);
    EXPECT_EQ(DetectEditorKind(L"notepad3.exe"), EditorKind::Notepad3);
    EXPECT_EQ(DetectEditorKind(L"C:\\x/y\\Notepad4.exe"), EditorKind::Notepad4);
    EXPECT_EQ(DetectEditorKind(L"C:\\Tools\\NOTEPAD++.EXE"), EditorKind::NotepadPlusPlus);
    EXPECT_EQ(DetectEditorKind(L"D:/EverEdit/EverEdit.exe"), EditorKind::EverEdit);
    EXPECT_EQ(DetectEditorKind(L"C:\\EmEditor\\EmEditor.exe"), EditorKind::EmEditor);
    for (const wchar_t* path :
         {L"C:\\Tools\\notepad3.exe.lnk", L"C:\\Tools\\notepad3", L"C:\\Tools\\notepad3.exe\\",
          L"C:\\Tools\\", L"C:\\Tools\\notepadpp.exe", L"C:\\notepad3.exe\\editor.exe",
          L"\"C:\\Tools\\notepad3.exe\"", L"C:\\Tools\\notepad3.exe ", L"", L"C:\\Tools\\notepad5.exe",
          L"C:\\EMED\u0130TOR.EXE"})
        EXPECT_EQ(DetectEditorKind(path), EditorKind::Other) << testing::PrintToString(std::wstring(path));
    EXPECT_EQ(static_cast<int>(EditorKind::Other), 0);
    EXPECT_EQ(static_cast<int>(EditorKind::EmEditor), 5);
}
