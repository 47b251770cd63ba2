// The configuration dialog opened through DVP_Configure, driven from the test thread.

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "dialog_driver.h"
#include "host/test_host.h"
#include "resources/resource.h"

using namespace dialogs;
using namespace testing_support;

namespace {

const wchar_t kDefaultEditor[] = L"/home\\viewers\\Notepad4\\Notepad4.exe";

void SeedStore(const std::wstring& mappings, const std::wstring& params, int maximize, int focus) {
    testhost::Store store;
    store[L"mappings"] = {4, mappings, 0};
    store[L"editorParams"] = {4, params, 0};
    store[L"maximizeStandaloneViewer"] = {0, L"", maximize};
    store[L"focusEditorOnLoad"] = {0, L"", focus};
    testhost::WriteStore(store);
}

const wchar_t kTwoRows[] = L"alpha\ttxt;md\tC:\\Tools\\a.exe\nbeta\tc;h\t/home\\b.exe";

// A window of the test thread that records what the dialog posts to the host.
struct NotifyTarget {
    NotifyTarget() {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VelloquinNotifyTarget";
        RegisterClassW(&windowClass);
        window = CreateWindowW(L"VelloquinNotifyTarget", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        received.clear();
    }
    ~NotifyTarget() { DestroyWindow(window); }
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == 0x8F1F) received.push_back({wParam, lParam});
        return DefWindowProcW(window, message, wParam, lParam);
    }
    HWND window;
    static std::vector<std::pair<WPARAM, LPARAM>> received;
};
std::vector<std::pair<WPARAM, LPARAM>> NotifyTarget::received;

std::wstring HexWindow(HWND window) {
    wchar_t text[32];
    swprintf(text, 32, L"0x%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
    return text;
}

int SaveCalls() {
    return testhost::LastCall().mode == 1 ? 1 : 0;
}

std::wstring ColumnHeader(HWND list, int column, int* width) {
    wchar_t text[64] = {};
    LVCOLUMNW info = {};
    info.mask = LVCF_TEXT | LVCF_WIDTH;
    info.pszText = text;
    info.cchTextMax = 64;
    SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
    *width = info.cx;
    return text;
}

RECT RectIn(HWND dialog, int id) {
    RECT rect = {};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ResizeClient(HWND dialog, int width, int height) {
    RECT frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, GetWindowLongW(dialog, GWL_STYLE), FALSE, GetWindowLongW(dialog, GWL_EXSTYLE));
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

class ConfigDialog : public ::testing::Test {
   protected:
    PluginFixture fixture;
};

TEST_F(ConfigDialog, OpensOnTheStoredSettingsWithItsCaptionsAndColumns) {
    SeedStore(kTwoRows, L"-q -n", 1, 0);
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    ASSERT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(Text(dialog), L"velloquin Configuration");
    EXPECT_EQ(ItemText(dialog, IDC_MAPPINGS_LABEL), L"Extension &Mappings:");
    EXPECT_EQ(ItemText(dialog, IDC_BTN_ADD), L"&Add");
    EXPECT_EQ(ItemText(dialog, IDC_BTN_EDIT), L"&Edit");
    EXPECT_EQ(ItemText(dialog, IDC_BTN_DELETE), L"&Delete");
    EXPECT_EQ(ItemText(dialog, IDC_BTN_UP), L"&Up");
    EXPECT_EQ(ItemText(dialog, IDC_BTN_DOWN), L"Do&wn");
    EXPECT_EQ(ItemText(dialog, IDC_BTN_FIND), L"&Find editors...");
    EXPECT_EQ(ItemText(dialog, IDC_PARAMS_LABEL), L"Editor Extra &Params:");
    EXPECT_EQ(ItemText(dialog, IDC_CHECK_MAXIMIZE), L"Ma&ximize window when opening standalone viewer");
    EXPECT_EQ(ItemText(dialog, IDC_CHECK_FOCUS), L"F&ocus the editor on preview start");
    EXPECT_EQ(ItemText(dialog, IDC_CHECK_KEEP_READY),
              L"&Keep editors ready (hidden editors keep running and hold their memory)");
    EXPECT_EQ(ItemText(dialog, 1), L"OK");
    EXPECT_EQ(ItemText(dialog, 2), L"Cancel");
    EXPECT_EQ(ItemText(dialog, IDC_CONFIG_PATH_LABEL), fixture.tempFolder + L"\\velloquin.oxc");
    EXPECT_EQ(ItemText(dialog, IDC_EDITOR_PARAMS), L"-q -n");
    EXPECT_TRUE(IsChecked(dialog, IDC_CHECK_MAXIMIZE));
    EXPECT_FALSE(IsChecked(dialog, IDC_CHECK_FOCUS));
    EXPECT_FALSE(IsChecked(dialog, IDC_CHECK_KEEP_READY));
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_EDITOR_PARAMS, EM_GETLIMITTEXT, 0, 0), 1023);

    HWND list = GetDlgItem(dialog, IDC_MAPPING_LIST);
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x10021);
    const std::pair<const wchar_t*, int> columns[] = {
        {L"Group", 80}, {L"Extensions", 180}, {L"Editor Path", 320}};
    for (int i = 0; i < 3; ++i) {
        int width = 0;
        EXPECT_EQ(ColumnHeader(list, i, &width), columns[i].first);
        EXPECT_EQ(width, columns[i].second);
    }
    std::vector<Row> expected = {{L"alpha", L"txt;md", L"C:\\Tools\\a.exe"},
                                 {L"beta", L"c;h", L"/home\\b.exe"}};
    EXPECT_EQ(ListRows(dialog), expected);

    // The check boxes take the pixel width of the parameter field.
    RECT field = RectIn(dialog, IDC_EDITOR_PARAMS);
    EXPECT_EQ(RectIn(dialog, IDC_CHECK_MAXIMIZE).right - RectIn(dialog, IDC_CHECK_MAXIMIZE).left, field.right - field.left);

    std::vector<std::wstring> log = fixture.Log();
    int enter = FindLogEntry(log, L"[DVP_Configure] DVP_Configure ENTER");
    int create = FindLogEntry(log, L"[CreateConfigDialog] CreateConfigDialog enter", enter);
    int init = FindLogEntry(log, L"[ConfigDlgProc] ConfigDlgProc WM_INITDIALOG OK", create);
    int created =
        FindLogEntry(log, L"[CreateConfigDialog]   CreateDialogParamW OK, hwnd=" + HexWindow(dialog), init);
    int done = FindLogEntry(log, L"[DVP_Configure] DVP_Configure return hwnd=" + HexWindow(dialog), created);
    EXPECT_TRUE(enter >= 0 && create > enter && init > create && created > init && done > created);
}

TEST_F(ConfigDialog, OkSavesTheEditedTableAndNotifiesTheHost) {
    SeedStore(kTwoRows, L"-q", 0, 0);
    NotifyTarget target;
    ConfigSession session(fixture.plugin(), target.window, 4000000000u);
    HWND dialog = session.dialog();
    ASSERT_TRUE(IsWindow(dialog));

    Click(dialog, IDC_BTN_ADD);  // Add: the editor opens empty
    HWND editor = WaitForDialog(session.threadId(), L"Add Mapping");
    ASSERT_NE(editor, nullptr);
    for (int field : {IDC_EDIT_GROUP, IDC_EDIT_EXTS, IDC_EDIT_PATH}) EXPECT_EQ(ItemText(editor, field), L"");
    EXPECT_FALSE(IsWindowEnabled(dialog));
    ASSERT_TRUE(FillEditor(editor, {L"notes", L"nfo", L"C:\\n.exe"}));

    SelectRow(dialog, 0);  // double-click edits the selected row
    SendDoubleClick(dialog);
    editor = WaitForDialog(session.threadId(), L"Edit Mapping");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(ItemText(editor, IDC_EDIT_GROUP), L"alpha");
    ASSERT_TRUE(FillEditor(editor, {L"alpha", L"txt;md;rst", L"C:\\Tools\\a.exe"}));

    SelectRow(dialog, 1);
    Click(dialog, IDC_BTN_DELETE);
    HWND question = WaitForDialog(session.threadId(), L"velloquin");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(MessageText(question), L"Delete the selected mapping?");
    PostMessageW(question, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(WaitForGone(question));

    std::vector<Row> expected = {{L"alpha", L"txt;md;rst", L"C:\\Tools\\a.exe"},
                                 {L"notes", L"nfo", L"C:\\n.exe"}};
    EXPECT_TRUE(WaitFor([&] { return ListRows(dialog) == expected; }, kWindowWaitMs));
    Type(dialog, IDC_EDITOR_PARAMS, L"");
    Toggle(dialog, IDC_CHECK_FOCUS);
    Toggle(dialog, IDC_CHECK_KEEP_READY);
    Click(dialog, 1);
    ASSERT_TRUE(SaveAnyway(session.threadId()));
    ASSERT_TRUE(session.WaitForEnd());  // the quit message ended the host thread's loop

    testhost::Store store = testhost::ReadStore();
    EXPECT_EQ(store[L"mappings"].text, L"alpha\ttxt;md;rst\tC:\\Tools\\a.exe\nnotes\tnfo\tC:\\n.exe");
    EXPECT_EQ(store[L"editorParams"].text, L"");
    EXPECT_EQ(store[L"maximizeStandaloneViewer"].integer, 0);
    EXPECT_EQ(store[L"focusEditorOnLoad"].integer, 1);
    EXPECT_EQ(store[L"keepEditorsReady"].integer, 1);
    ASSERT_TRUE(WaitFor([] { return !NotifyTarget::received.empty(); }, kWindowWaitMs));
    EXPECT_EQ(NotifyTarget::received[0].first, 0u);
    EXPECT_EQ(NotifyTarget::received[0].second, static_cast<LPARAM>(4000000000u));
    std::vector<std::wstring> log = fixture.Log();
    EXPECT_TRUE(LogHas(log, L"[ConfigDlgProc] ConfigDlgProc WM_APP: sel=0"));
    EXPECT_TRUE(LogHas(log, L"[ConfigDlgProc]   PostMessage DVPLUGINMSG_REINITIALIZE to " +
                                HexWindow(target.window) + L", data=4000000000"));
    EXPECT_TRUE(LogHas(log, L"[ConfigDlgProc] ConfigDlgProc WM_NCDESTROY"));
}

// A host may hand its store call to another thread that itself asks the plug-in something (and so
// waits for the settings lock): OK must not hold that lock while the host saves.
TEST_F(ConfigDialog, OkSavesWithoutHoldingTheSettingsLockWhileTheHostWorks) {
    using IdentifyFileFn = BOOL(WINAPI*)(HWND, LPWSTR, void*, HANDLE);
    SeedStore(kTwoRows, L"-q", 0, 0);
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    ASSERT_TRUE(IsWindow(dialog));
    auto identifyFile = fixture.plugin().Get<IdentifyFileFn>("DVP_IdentifyFileW");
    ASSERT_NE(identifyFile, nullptr);
    testhost::StartMarshallingThread([identifyFile] {
        uint8_t fileInfo[104] = {};
        wchar_t name[] = L"C:\\notes\\a.md";
        identifyFile(nullptr, name, fileInfo, nullptr);
    });
    Click(dialog, 1);
    EXPECT_TRUE(SaveAnyway(session.threadId()));
    bool ended = session.WaitForEnd();
    testhost::StopMarshallingThread();
    if (HWND error = WaitForDialog(session.threadId(), L"velloquin", 100))
        PostMessageW(error, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(ended);
    // A save made under the lock waits out the host's 3 s bound and fails.
    EXPECT_EQ(testhost::MarshalTimeouts(), 0);
    EXPECT_EQ(testhost::ReadStore()[L"mappings"].text, kTwoRows);
}

TEST_F(ConfigDialog, ClosingAfterChangesWritesNothing) {
    SeedStore(kTwoRows, L"-q", 1, 1);
    testhost::Store before = testhost::ReadStore();
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    Click(dialog, IDC_BTN_ADD);
    ASSERT_TRUE(FillEditor(WaitForDialog(session.threadId(), L"Add Mapping"), {L"x", L"y", L"C:\\z.exe"}));
    EXPECT_TRUE(WaitFor([&] { return ListRows(dialog).size() == 3; }, kWindowWaitMs));
    Type(dialog, IDC_EDITOR_PARAMS, L"changed");
    Toggle(dialog, IDC_CHECK_MAXIMIZE);
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);  // closed from its caption
    ASSERT_TRUE(session.WaitForEnd());
    EXPECT_EQ(SaveCalls(), 0);
    testhost::Store after = testhost::ReadStore();
    EXPECT_EQ(after[L"mappings"].text, before[L"mappings"].text);
    EXPECT_EQ(after[L"editorParams"].text, L"-q");
    EXPECT_EQ(after[L"maximizeStandaloneViewer"].integer, 1);
}

TEST_F(ConfigDialog, EditAndDeleteNeedASelectionAndDeleteAsksFirst) {
    SeedStore(kTwoRows, L"", 0, 0);
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    std::vector<Row> rows = ListRows(dialog);
    ASSERT_EQ(rows.size(), 2u);

    Click(dialog, IDC_BTN_EDIT);
    HWND info = WaitForDialog(session.threadId(), L"velloquin");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(MessageText(info), L"Please select a mapping first.");
    PostMessageW(info, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitForGone(info));

    Click(dialog, IDC_BTN_DELETE);  // nothing selected: no question
    EXPECT_EQ(WaitForDialog(session.threadId(), L"velloquin", 300), nullptr);

    SelectRow(dialog, 0);
    Click(dialog, IDC_BTN_DELETE);
    HWND question = WaitForDialog(session.threadId(), L"velloquin");
    ASSERT_NE(question, nullptr);
    PostMessageW(question, WM_COMMAND, IDNO, 0);
    ASSERT_TRUE(WaitForGone(question));
    EXPECT_EQ(ListRows(dialog), rows);

    SelectRow(dialog, -1);  // a double-click on empty space
    SendDoubleClick(dialog);
    EXPECT_TRUE(
        WaitFor([&] { return LogHas(fixture.Log(), L"[ConfigDlgProc] ConfigDlgProc WM_APP: sel=-1"); },
                kWindowWaitMs));
    EXPECT_EQ(WaitForDialog(session.threadId(), L"Edit Mapping", 300), nullptr);

    Click(dialog, IDC_BTN_ADD);  // Add, then Cancel in the editor: no row
    HWND editor = WaitForDialog(session.threadId(), L"Add Mapping");
    ASSERT_NE(editor, nullptr);
    Click(editor, 2);
    ASSERT_TRUE(WaitForGone(editor));
    EXPECT_EQ(ListRows(dialog), rows);
}

TEST_F(ConfigDialog, DeletingEveryRowSavesAnEmptyTable) {
    SeedStore(L"only\ttxt\tC:\\a.exe", L"", 0, 0);
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    SelectRow(dialog, 0);
    Click(dialog, IDC_BTN_DELETE);
    HWND question = WaitForDialog(session.threadId(), L"velloquin");
    ASSERT_NE(question, nullptr);
    PostMessageW(question, WM_COMMAND, IDYES, 0);
    EXPECT_TRUE(WaitFor([&] { return ListRows(dialog).empty(); }, kWindowWaitMs));
    Click(dialog, 1);
    ASSERT_TRUE(session.WaitForEnd());
    EXPECT_EQ(SaveCalls(), 1);
    EXPECT_EQ(testhost::ReadStore()[L"mappings"].text, L"");
    // No window to notify: nothing posted.
    for (const std::wstring& entry : fixture.Log()) EXPECT_EQ(entry.find(L"PostMessage"), std::wstring::npos);
}

TEST_F(ConfigDialog, AFailedSaveNamesTheFileAndStillNotifiesTheHost) {
    testhost::Host().saveSucceeds = false;
    NotifyTarget target;
    ConfigSession session(fixture.plugin(), target.window, 7);
    HWND dialog = session.dialog();
    Click(dialog, 1);
    ASSERT_TRUE(SaveAnyway(session.threadId()));  // the default editor is not beside this host
    HWND error = WaitForDialog(session.threadId(), L"velloquin");
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(MessageText(error), L"Failed to save config:\n  " + fixture.tempFolder + L"\\velloquin.oxc");
    EXPECT_TRUE(IsWindow(dialog));
    PostMessageW(error, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(session.WaitForEnd());
    ASSERT_TRUE(WaitFor([] { return !NotifyTarget::received.empty(); }, kWindowWaitMs));
    EXPECT_EQ(NotifyTarget::received[0].second, 7);
}

TEST_F(ConfigDialog, RefusesToSaveAMappingTextTheHostWouldReturnCut) {
    SeedStore(kTwoRows, L"", 0, 0);
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    // The new row adds LF, "g", two TABs and "C:\e" (8 units) to the stored text: one unit too many.
    std::wstring longExts(8191 - wcslen(kTwoRows) - 8, L'x');
    Click(dialog, IDC_BTN_ADD);
    ASSERT_TRUE(FillEditor(WaitForDialog(session.threadId(), L"Add Mapping"), {L"g", longExts, L"C:\\e"}));
    Click(dialog, 1);
    HWND error = WaitForDialog(session.threadId(), L"velloquin");
    ASSERT_NE(error, nullptr);
    EXPECT_NE(MessageText(error).find(L"8190"), std::wstring::npos) << Wide2Utf8(MessageText(error));
    PostMessageW(error, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitForGone(error));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ(SaveCalls(), 0);

    SelectRow(dialog, 2);  // one unit shorter fits
    Click(dialog, IDC_BTN_EDIT);
    ASSERT_TRUE(
        FillEditor(WaitForDialog(session.threadId(), L"Edit Mapping"), {L"g", longExts.substr(1), L"C:\\e"}));
    Click(dialog, 1);
    ASSERT_TRUE(SaveAnyway(session.threadId()));
    ASSERT_TRUE(session.WaitForEnd());
    EXPECT_EQ(testhost::ReadStore()[L"mappings"].text.size(), 8190u);
}

TEST_F(ConfigDialog, GrowingMovesControlsAndShrinkingNeverMovesThemUpOrLeft) {
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    RECT client = {};
    GetClientRect(dialog, &client);
    const int ids[] = {IDC_MAPPING_LIST, IDC_BTN_ADD, IDC_EDITOR_PARAMS, IDC_CONFIG_PATH_LABEL, IDC_MAPPINGS_LABEL, IDC_CHECK_MAXIMIZE, 1, 2, IDC_CHECK_KEEP_READY};
    std::vector<RECT> initial;
    for (int id : ids) initial.push_back(RectIn(dialog, id));

    ResizeClient(dialog, client.right + 100, client.bottom + 40);
    RECT list = RectIn(dialog, IDC_MAPPING_LIST), add = RectIn(dialog, IDC_BTN_ADD), params = RectIn(dialog, IDC_EDITOR_PARAMS);
    RECT ok = RectIn(dialog, 1), label = RectIn(dialog, IDC_MAPPINGS_LABEL), box = RectIn(dialog, IDC_CHECK_MAXIMIZE);
    EXPECT_EQ(list.right - list.left, initial[0].right - initial[0].left + 100);
    EXPECT_EQ(list.bottom - list.top, initial[0].bottom - initial[0].top + 40);
    EXPECT_EQ(add.top, initial[1].top + 40);
    EXPECT_EQ(add.left, initial[1].left);
    EXPECT_EQ(params.right, initial[2].right + 100);
    EXPECT_EQ(params.top, initial[2].top + 40);
    EXPECT_EQ(box.right, initial[5].right + 100);
    EXPECT_EQ(ok.left, initial[6].left + 100);
    EXPECT_EQ(ok.top, initial[6].top + 40);
    EXPECT_EQ(label.top, initial[4].top);
    EXPECT_EQ(RectIn(dialog, IDC_CHECK_KEEP_READY).top, initial[8].top + 40);
    EXPECT_EQ(RectIn(dialog, IDC_CHECK_KEEP_READY).right, initial[8].right + 100);

    ResizeClient(dialog, client.right - 120, client.bottom - 80);
    for (size_t i = 0; i < initial.size(); ++i) {
        RECT now = RectIn(dialog, ids[i]);
        EXPECT_TRUE(EqualRect(&now, &initial[i])) << ids[i];
    }
}

// The smallest the dialog can be made is its first size as a window, frame included: OK and Cancel
// stay whole inside the client area.
TEST_F(ConfigDialog, AtItsMinimumSizeOkAndCancelStayInside) {
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    RECT initial = {};
    GetWindowRect(dialog, &initial);
    MINMAXINFO limits = {};
    SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, initial.right - initial.left);
    EXPECT_EQ(limits.ptMinTrackSize.y, initial.bottom - initial.top);

    SetWindowPos(dialog, nullptr, 0, 0, limits.ptMinTrackSize.x, limits.ptMinTrackSize.y,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client = {};
    GetClientRect(dialog, &client);
    for (int id : {1, 2}) {
        RECT button = RectIn(dialog, id);
        EXPECT_GE(button.left, 0) << id;
        EXPECT_GE(button.top, 0) << id;
        EXPECT_LE(button.right, client.right) << id;
        EXPECT_LE(button.bottom, client.bottom) << id;
    }
}

TEST_F(ConfigDialog, IconsAreSharedAcrossOpenings) {
    HICON first[2] = {};
    for (int opening = 0; opening < 2; ++opening) {
        ConfigSession session(fixture.plugin());
        HWND dialog = session.dialog();
        ASSERT_TRUE(IsWindow(dialog));
        HICON small = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0));
        HICON big = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0));
        ASSERT_NE(small, nullptr);
        ASSERT_NE(big, nullptr);
        if (opening == 0) {
            first[0] = small;
            first[1] = big;
        } else {
            EXPECT_EQ(small, first[0]);
            EXPECT_EQ(big, first[1]);
        }
        Click(dialog, 2);
        ASSERT_TRUE(session.WaitForEnd());
    }
}

TEST_F(ConfigDialog, AddAppendsARowAndUpDownReorderTheRowsKeepingTheSelection) {
    SeedStore(kTwoRows, L"", 0, 0);
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    Click(dialog, IDC_BTN_ADD);
    ASSERT_TRUE(FillEditor(WaitForDialog(session.threadId(), L"Add Mapping"), {L"gamma", L"rst", L"C:\\g.exe"}));
    const Row alpha{L"alpha", L"txt;md", L"C:\\Tools\\a.exe"}, beta{L"beta", L"c;h", L"/home\\b.exe"},
        gamma{L"gamma", L"rst", L"C:\\g.exe"};
    struct Step {
        int button;
        std::vector<Row> rows;
        int selected;
    };
    const Step steps[] = {
        {IDC_BTN_UP, {alpha, gamma, beta}, 1},
        {IDC_BTN_UP, {gamma, alpha, beta}, 0},
        {IDC_BTN_UP, {gamma, alpha, beta}, 0},  // the top row stays
        {IDC_BTN_DOWN, {alpha, gamma, beta}, 1},
    };
    EXPECT_TRUE(WaitFor([&] { return SelectedRow(dialog) == 2; }, kWindowWaitMs));
    for (const Step& step : steps) {
        Click(dialog, step.button);
        EXPECT_TRUE(WaitFor([&] { return ListRows(dialog) == step.rows && SelectedRow(dialog) == step.selected; },
                            kWindowWaitMs));
    }
    Click(dialog, 1);
    ASSERT_TRUE(SaveAnyway(session.threadId()));
    ASSERT_TRUE(session.WaitForEnd());
    EXPECT_EQ(testhost::ReadStore()[L"mappings"].text,
              L"alpha\ttxt;md\tC:\\Tools\\a.exe\ngamma\trst\tC:\\g.exe\nbeta\tc;h\t/home\\b.exe");
}

// The letters after '&' of each dialog's controls: every label and check box has one, none twice.
void ExpectUniqueAccessKeys(HWND dialog) {
    std::vector<wchar_t> keys;
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        const std::wstring text = Text(control);
        const size_t amp = text.find(L'&');
        const LONG style = GetWindowLongW(control, GWL_STYLE);
        wchar_t name[32] = {};
        GetClassNameW(control, name, 32);
        const bool label = _wcsicmp(name, L"Static") == 0 && !(style & SS_NOPREFIX);
        const bool checkBox = _wcsicmp(name, L"Button") == 0 && (style & 0xF) == BS_AUTOCHECKBOX;
        SCOPED_TRACE(Wide2Utf8(text));
        if (label || checkBox) {
            EXPECT_NE(amp, std::wstring::npos);
        }
        if (amp == std::wstring::npos || amp + 1 >= text.size()) continue;
        const wchar_t key = towlower(text[amp + 1]);
        EXPECT_EQ(std::count(keys.begin(), keys.end(), key), 0);
        keys.push_back(key);
    }
    EXPECT_GE(keys.size(), 3u);
}

TEST_F(ConfigDialog, EveryLabelAndCheckBoxHasAnAccessKeyOfItsOwnAndTheKeysWork) {
    SeedStore(kTwoRows, L"", 0, 0);
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    ExpectUniqueAccessKeys(dialog);
    SelectRow(dialog, 0);
    // Alt+W through the dialog loop: Down.
    PostMessageW(GetDlgItem(dialog, IDC_MAPPING_LIST), WM_SYSCHAR, L'w', 1 << 29);
    EXPECT_TRUE(WaitFor([&] { return SelectedRow(dialog) == 1; }, kWindowWaitMs));
    SelectRow(dialog, 0);
    Click(dialog, IDC_BTN_EDIT);
    HWND editor = WaitForDialog(session.threadId(), L"Edit Mapping");
    ASSERT_NE(editor, nullptr);
    ExpectUniqueAccessKeys(editor);
}

TEST_F(ConfigDialog, FindEditorsListsTheInstalledOnesAndPutsTheChosenOneInTheSelectedRow) {
    SeedStore(kTwoRows, L"", 0, 0);
    const std::wstring local = fixture.tempFolder + L"\\local", bin = fixture.tempFolder + L"\\bin";
    const std::wstring notepad4 = local + L"\\Programs\\Notepad4\\Notepad4.exe",
                       notepad3 = fixture.tempFolder + L"\\Notepad3.exe", notepadPP = bin + L"\\Notepad++.exe";
    for (const std::wstring& folder : {local, local + L"\\Programs", local + L"\\Programs\\Notepad4", bin})
        CreateDirectoryW(folder.c_str(), nullptr);
    for (const std::wstring& file : {notepad4, notepad3, notepadPP}) ASSERT_TRUE(WriteFileText(file, "MZ"));
    const wchar_t appPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\notepad3.exe";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, appPath, nullptr, REG_SZ, notepad3.c_str(),
                              static_cast<DWORD>((notepad3.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    wchar_t oldLocal[MAX_PATH] = {}, oldPath[8192] = {};
    GetEnvironmentVariableW(L"LOCALAPPDATA", oldLocal, MAX_PATH);
    GetEnvironmentVariableW(L"PATH", oldPath, 8192);
    SetEnvironmentVariableW(L"LOCALAPPDATA", local.c_str());
    SetEnvironmentVariableW(L"PATH", (bin + L";" + oldPath).c_str());
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    SelectRow(dialog, 1);
    Click(dialog, IDC_BTN_FIND);
    HWND finder = WaitForDialog(session.threadId(), L"Find Editors");
    RegDeleteKeyW(HKEY_CURRENT_USER, appPath);
    SetEnvironmentVariableW(L"LOCALAPPDATA", oldLocal);
    SetEnvironmentVariableW(L"PATH", oldPath);
    ASSERT_NE(finder, nullptr);
    HWND list = GetDlgItem(finder, IDC_FOUND_LIST);
    std::vector<std::wstring> lines(static_cast<size_t>(SendMessageW(list, LB_GETCOUNT, 0, 0)));
    for (size_t i = 0; i < lines.size(); ++i) {
        lines[i].resize(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1);
        lines[i].resize(static_cast<size_t>(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&lines[i][0]))));
    }
    const std::vector<std::wstring> expected = {L"Notepad4: " + notepad4, L"Notepad3: " + notepad3,
                                                L"Notepad++: " + notepadPP};
    EXPECT_EQ(lines, expected);
    SendMessageW(list, LB_SETCURSEL, 1, 0);
    Click(finder, IDOK);
    ASSERT_TRUE(WaitForGone(finder));
    EXPECT_TRUE(WaitFor([&] { return ListRows(dialog).at(1).editorPath == notepad3; }, kWindowWaitMs));
    EXPECT_EQ(ListRows(dialog).at(1).group, L"beta");
    EXPECT_EQ(SelectedRow(dialog), 1);
    EXPECT_TRUE(LogHas(fixture.Log(), L"[FindEditors] chosen: [" + notepad3 + L"]"));
}

TEST_F(ConfigDialog, OkNamesTheRowsWhoseEditorIsMissingAndSavesOnlyWhenTheUserSaysSo) {
    const std::wstring present = fixture.tempFolder + L"\\ed.exe";
    ASSERT_TRUE(WriteFileText(present, "MZ"));
    SeedStore(L"here\ttxt\t" + present + L"\ngone\tmd\tC:\\nowhere\\ed.exe\nrel\tc\ted.exe\ndefault\tini\t" +
                  kDefaultEditor,
              L"", 0, 0);
    ConfigSession session(fixture.plugin());
    HWND dialog = session.dialog();
    Click(dialog, 1);
    HWND question = WaitForDialog(session.threadId(), L"velloquin");
    ASSERT_NE(question, nullptr);
    wchar_t host[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, host, MAX_PATH);
    const std::wstring hostFolder = std::wstring(host).substr(0, std::wstring(host).rfind(L'\\'));
    EXPECT_EQ(MessageText(question), L"These editors do not exist:\n\n  gone: C:\\nowhere\\ed.exe\n  rel: ed.exe\n"
                                     L"  default: " + hostFolder + L"\\viewers\\Notepad4\\Notepad4.exe\n\n"
                                     L"Files of their groups cannot be shown until the editor is there. Save anyway?");
    PostMessageW(question, WM_COMMAND, IDNO, 0);
    ASSERT_TRUE(WaitForGone(question));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ(SelectedRow(dialog), 1);  // the first one named, ready for Find editors or Edit
    EXPECT_EQ(SaveCalls(), 0);
    Click(dialog, 1);
    ASSERT_TRUE(SaveAnyway(session.threadId()));
    ASSERT_TRUE(session.WaitForEnd());
    EXPECT_EQ(SaveCalls(), 1);
    const std::wstring stored = testhost::ReadStore()[L"mappings"].text;
    EXPECT_EQ(std::count(stored.begin(), stored.end(), L'\n'), 3);
}

// Runs in a process of its own: the list-view class is unregistered there.
TEST(ConfigDialogAlone, DISABLED_WithoutTheListViewClassNoDialogAndNoQuitMessage) {
    PluginFixture fixture;
    ASSERT_TRUE(UnregisterClassW(L"SysListView32", GetModuleHandleW(L"comctl32.dll")));
    ConfigSession session(fixture.plugin(), nullptr, 0, false);
    EXPECT_EQ(session.dialog(), nullptr);
    EXPECT_FALSE(session.quitQueuedAfterFailure());
    std::vector<std::wstring> log = fixture.Log();
    bool failed = false;
    for (const std::wstring& entry : log)
        failed |= entry.rfind(L"[CreateConfigDialog]   CreateDialogParamW FAILED, err=", 0) == 0;
    EXPECT_TRUE(failed);
    EXPECT_TRUE(LogHas(log, L"[DVP_Configure] DVP_Configure return hwnd=0x0000000000000000"));
    EXPECT_TRUE(LogHas(log, L"[ConfigDlgProc] ConfigDlgProc WM_NCDESTROY"));
}

TEST(ConfigDialogAlone, WithoutTheListViewClassNoDialogAndNoQuitMessage) {
    EXPECT_EQ(RunSelf(L"ConfigDialogAlone.DISABLED_WithoutTheListViewClassNoDialogAndNoQuitMessage", {}), 0u);
}

TEST(RoundTrip, WhatOkSavesANewHostProcessLoads) {
    PluginFixture fixture;
    {
        ConfigSession session(fixture.plugin());
        HWND dialog = session.dialog();
        ASSERT_TRUE(IsWindow(dialog));
        while (!ListRows(dialog).empty()) {
            SelectRow(dialog, 0);
            Click(dialog, IDC_BTN_DELETE);
            HWND question = WaitForDialog(session.threadId(), L"velloquin");
            ASSERT_NE(question, nullptr);
            size_t count = ListRows(dialog).size();
            PostMessageW(question, WM_COMMAND, IDYES, 0);
            ASSERT_TRUE(WaitFor([&] { return ListRows(dialog).size() == count - 1; }, kWindowWaitMs));
        }
        Click(dialog, IDC_BTN_ADD);
        ASSERT_TRUE(FillEditor(WaitForDialog(session.threadId(), L"Add Mapping"),
                               {L"Prose", L".TXT; md", L"\"C:\\Program Files\\ed.exe\""}));
        Type(dialog, IDC_EDITOR_PARAMS, L"-x \"y\"");
        Toggle(dialog, IDC_CHECK_MAXIMIZE);
        Click(dialog, 1);
        ASSERT_TRUE(SaveAnyway(session.threadId()));
        ASSERT_TRUE(session.WaitForEnd());
    }
    EXPECT_EQ(
        RunSelf(L"RoundTrip.DISABLED_SecondProcess", {L"VELLOQUIN_TEST_CONFIG_DIR=" + fixture.tempFolder}),
        0u);
}

TEST(RoundTrip, DISABLED_SecondProcess) {
    UseTempFolder(MakeTempDir(L"roundtrip"));
    LoadedPlugin plugin;
    ConfigSession session(plugin);
    HWND dialog = session.dialog();
    ASSERT_TRUE(IsWindow(dialog));
    std::vector<Row> expected = {{L"Prose", L".TXT; md", L"\"C:\\Program Files\\ed.exe\""}};
    EXPECT_EQ(ListRows(dialog), expected);
    EXPECT_EQ(ItemText(dialog, IDC_EDITOR_PARAMS), L"-x \"y\"");
    EXPECT_TRUE(IsChecked(dialog, IDC_CHECK_MAXIMIZE));
    EXPECT_FALSE(IsChecked(dialog, IDC_CHECK_FOCUS));
}
