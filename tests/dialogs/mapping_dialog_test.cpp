// The mapping editor, reached as the user reaches it: through Add and Edit of the configuration dialog.

#include <gtest/gtest.h>

#include "dialog_driver.h"
#include "host/test_host.h"
#include "resources/resource.h"

using namespace dialogs;
using namespace testing_support;

namespace {

constexpr DWORD kFileDialogWaitMs = 15000;
const wchar_t kAliasEditor[] = L"/home\\viewers\\Notepad4\\Notepad4.exe";

class MappingEditor : public ::testing::Test {
   protected:
    void SetUp() override {
        testhost::Store store;
        store[L"mappings"] = {4, L"text\ttxt\tC:\\old.exe", 0};
        testhost::WriteStore(store);
        session = std::make_unique<ConfigSession>(fixture.plugin());
        dialog = session->dialog();
        ASSERT_TRUE(IsWindow(dialog));
    }
    HWND OpenOnRow(int row) {
        SelectRow(dialog, row);
        Click(dialog, IDC_BTN_EDIT);
        return WaitForDialog(session->threadId(), L"Edit Mapping");
    }
    HWND OpenForAdd() {
        Click(dialog, IDC_BTN_ADD);
        return WaitForDialog(session->threadId(), L"Add Mapping");
    }
    // The file-open dialog of the editor, found as the thread's one unknown dialog.
    HWND WaitForFileDialog(HWND editor) {
        return WaitForOtherDialog(session->threadId(), {dialog, editor}, kFileDialogWaitMs);
    }
    // Answers a message box of the editor and returns its text.
    std::wstring AnswerMessage() {
        HWND box = WaitForDialog(session->threadId(), L"velloquin");
        if (!box) return L"(no message box)";
        std::wstring text = MessageText(box);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        WaitForGone(box);
        return text;
    }
    std::vector<std::wstring> Log() const { return fixture.Log(); }

    PluginFixture fixture;
    std::unique_ptr<ConfigSession> session;
    HWND dialog = nullptr;
};

// Wine's and Windows' file-open dialogs keep the file name in edt1 or in the combo box cmb13.
HWND FileNameField(HWND fileDialog) {
    HWND field = GetDlgItem(fileDialog, 0x480);
    return field ? field : GetDlgItem(fileDialog, 0x47C);
}

std::wstring SelectedFilter(HWND fileDialog) {
    HWND filters = GetDlgItem(fileDialog, 0x470);
    LRESULT index = SendMessageW(filters, CB_GETCURSEL, 0, 0);
    wchar_t text[128] = {};
    if (index >= 0 && SendMessageW(filters, CB_GETLBTEXTLEN, index, 0) < 128)
        SendMessageW(filters, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

}  // namespace

TEST_F(MappingEditor, ShowsTheRowWithItsCaptionsAndCancelKeepsIt) {
    HWND editor = OpenOnRow(0);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(ItemText(editor, IDC_GROUP_LABEL), L"&Group:");
    EXPECT_EQ(ItemText(editor, IDC_EXTS_LABEL), L"E&xtensions (semicolon):");
    EXPECT_EQ(ItemText(editor, IDC_PATH_LABEL), L"Editor &Path:");
    EXPECT_EQ(ItemText(editor, IDC_BTN_BROWSE), L"...");
    EXPECT_EQ(ItemText(editor, 1), L"OK");
    EXPECT_EQ(ItemText(editor, 2), L"Cancel");
    EXPECT_EQ(ItemText(editor, IDC_EDIT_GROUP), L"text");
    EXPECT_EQ(ItemText(editor, IDC_EDIT_EXTS), L"txt");
    EXPECT_EQ(ItemText(editor, IDC_EDIT_PATH), L"C:\\old.exe");
    EXPECT_EQ(GetWindowLongW(editor, GWL_STYLE) & WS_THICKFRAME, 0);
    EXPECT_EQ(GetWindow(editor, GW_OWNER), dialog);
    EXPECT_NE(SendMessageW(editor, WM_GETICON, ICON_SMALL, 0), 0);
    Type(editor, IDC_EDIT_GROUP, L"changed");
    Click(editor, 2);
    ASSERT_TRUE(WaitForGone(editor));
    std::vector<Row> expected = {{L"text", L"txt", L"C:\\old.exe"}};
    EXPECT_EQ(ListRows(dialog), expected);
    EXPECT_TRUE(LogHas(Log(), L"[EditMappingDlgProc] EditMappingDlgProc WM_INITDIALOG OK"));
}

TEST_F(MappingEditor, EmptyOrBlankFieldsAreRefusedAndFieldsAreStoredTrimmed) {
    HWND editor = OpenOnRow(0);
    ASSERT_NE(editor, nullptr);
    for (int field : {IDC_EDIT_GROUP, IDC_EDIT_EXTS, IDC_EDIT_PATH}) {
        Type(editor, field, field == IDC_EDIT_EXTS ? L"" : L"  \t ");
        Click(editor, 1);
        EXPECT_EQ(AnswerMessage(), L"Group, extensions, and path cannot be empty.") << field;
        EXPECT_TRUE(IsWindow(editor));
        Type(editor, field, L"x");
    }
    ASSERT_TRUE(FillEditor(editor, {L"  prose ", L" md;txt\t", L" C:\\ed.exe  "}));
    std::vector<Row> expected = {{L"prose", L"md;txt", L"C:\\ed.exe"}};
    EXPECT_EQ(ListRows(dialog), expected);
}

TEST_F(MappingEditor, AFieldHoldingATabOrLineBreakIsRefusedByName) {
    HWND editor = OpenForAdd();
    ASSERT_NE(editor, nullptr);
    Type(editor, IDC_EDIT_GROUP, L"g");
    Type(editor, IDC_EDIT_PATH, L"C:\\e.exe");
    Type(editor, IDC_EDIT_EXTS, L"txt\tmd");
    Click(editor, 1);
    EXPECT_EQ(AnswerMessage(), L"Extensions cannot contain a tab or a line break.");
    Type(editor, IDC_EDIT_EXTS, L"txt");
    Type(editor, IDC_EDIT_PATH, L"C:\\a\nb.exe");
    Click(editor, 1);
    EXPECT_EQ(AnswerMessage(), L"Editor Path cannot contain a tab or a line break.");
    EXPECT_TRUE(IsWindow(editor));
    Click(editor, 2);
    ASSERT_TRUE(WaitForGone(editor));
    EXPECT_EQ(ListRows(dialog).size(), 1u);
}

TEST_F(MappingEditor, BrowseStartsWithoutAnAliasPathAndCancelChangesNothing) {
    HWND editor = OpenForAdd();
    ASSERT_NE(editor, nullptr);
    Type(editor, IDC_EDIT_PATH, kAliasEditor);
    Click(editor, IDC_BTN_BROWSE);
    HWND files = WaitForFileDialog(editor);
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(Text(FileNameField(files)), L"");
    EXPECT_EQ(SelectedFilter(files), L"Executable files (*.exe)");
    PostMessageW(files, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitForGone(files, kFileDialogWaitMs));
    EXPECT_EQ(ItemText(editor, IDC_EDIT_PATH), kAliasEditor);
    std::vector<std::wstring> log = Log();
    int clicked = FindLogEntry(log, L"[EditMappingDlgProc] EditMappingDlgProc IDC_BTN_BROWSE clicked");
    int cleared = FindLogEntry(
        log,
        std::wstring(L"[EditMappingDlgProc]   path is not a valid Windows path, clearing initial file: ") +
            kAliasEditor,
        clicked);
    int failed =
        FindLogEntry(log, L"[EditMappingDlgProc] EditMappingDlgProc GetOpenFileNameW FAILED, err=0", cleared);
    EXPECT_TRUE(clicked >= 0 && cleared > clicked && failed > cleared);
}

TEST_F(MappingEditor, BrowsePassesADrivePathAsTheInitialFileAndOkSetsTheField) {
    std::wstring tools = fixture.tempFolder + L"\\tools";
    CreateDirectoryW(tools.c_str(), nullptr);
    ASSERT_TRUE(WriteFileText(tools + L"\\ed.exe", "MZ"));
    ASSERT_EQ(fixture.tempFolder[1], L':');
    HWND editor = OpenOnRow(0);
    ASSERT_NE(editor, nullptr);
    Type(editor, IDC_EDIT_PATH, tools + L"\\ed.exe");
    Click(editor, IDC_BTN_BROWSE);
    HWND files = WaitForFileDialog(editor);
    ASSERT_NE(files, nullptr);
    EXPECT_NE(Text(FileNameField(files)).find(L"ed.exe"), std::wstring::npos)
        << Wide2Utf8(Text(FileNameField(files)));
    PostMessageW(files, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitForGone(files, kFileDialogWaitMs));
    EXPECT_EQ(ItemText(editor, IDC_EDIT_PATH), tools + L"\\ed.exe");
    EXPECT_TRUE(LogHas(
        Log(), L"[EditMappingDlgProc] EditMappingDlgProc GetOpenFileNameW OK: " + tools + L"\\ed.exe"));
    for (const std::wstring& entry : Log())
        EXPECT_EQ(entry.find(L"clearing initial file"), std::wstring::npos);

    Click(editor, 2);  // the picked path is not stored without OK
    ASSERT_TRUE(WaitForGone(editor));
    std::vector<Row> expected = {{L"text", L"txt", L"C:\\old.exe"}};
    EXPECT_EQ(ListRows(dialog), expected);
}
