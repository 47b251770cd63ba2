#include "dialog_driver.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "host/test_host.h"
#include "resources/resource.h"

using namespace testing_support;

namespace dialogs {

constexpr DWORD kChildWaitMs = 120000;

// Taken before the first fixture points TMP into a folder of its own.
static std::wstring FixtureRoot() {
    static const std::wstring root = MakeTempDir(L"dialogs");
    return root;
}

static std::wstring NewFixtureFolder() {
    static int counter = 0;
    std::wstring folder = FixtureRoot() + L"\\" + std::to_wstring(++counter);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

PluginFixture::PluginFixture() : tempFolder(NewFixtureFolder()) {
    UseTempFolder(tempFolder);
    testhost::ResetHost();
    testhost::Host().configFolder = tempFolder;
    plugin_ = std::make_unique<LoadedPlugin>();
}

ConfigSession::ConfigSession(const LoadedPlugin& plugin, HWND notifyWindow, DWORD notifyData,
                             bool registerListView)
    : plugin_(plugin),
      notifyWindow_(notifyWindow),
      notifyData_(notifyData),
      registerListView_(registerListView) {
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, &threadId_);
    WaitForSingleObject(ready_, kWindowWaitMs);
}

ConfigSession::~ConfigSession() {
    if (thread_ && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT) {
        // Close whatever the test left open, innermost first, then the dialog itself.
        for (int round = 0; round < 5 && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT; ++round) {
            HWND other = WaitForOtherDialog(threadId_, {dialog_}, 0);
            PostMessageW(other ? other : dialog_, WM_COMMAND, IDCANCEL, 0);
            if (other) PostMessageW(other, WM_CLOSE, 0, 0);
            WaitForGone(other ? other : dialog_, kWindowWaitMs);
        }
        if (!WaitForEnd()) ADD_FAILURE() << "the dialog thread did not end";
    }
    if (thread_) CloseHandle(thread_);
    if (ready_) CloseHandle(ready_);
}

bool ConfigSession::WaitForEnd(DWORD timeoutMs) {
    return WaitFor([&] { return WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0; }, timeoutMs);
}

DWORD WINAPI ConfigSession::ThreadMain(void* param) {
    auto* self = static_cast<ConfigSession*>(param);
    // Our own reference: the plug-in stays loaded until this thread has left it, even when a
    // failing test leaves the dialog open.
    HMODULE pinned = LoadLibraryW(DllPath().c_str());
    if (self->registerListView_) {
        INITCOMMONCONTROLSEX controls = {};
        controls.dwSize = sizeof(controls);
        controls.dwICC = ICC_LISTVIEW_CLASSES;
        InitCommonControlsEx(&controls);
    }
    using Configure = HWND(WINAPI*)(HWND, HWND, DWORD);
    HWND dialog =
        self->plugin_.Get<Configure>("DVP_Configure")(nullptr, self->notifyWindow_, self->notifyData_);
    self->dialog_ = dialog;
    MSG msg;
    if (!dialog) {
        self->quitQueued_ = PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        SetEvent(self->ready_);
        FreeLibraryAndExitThread(pinned, 0);
    }
    SetEvent(self->ready_);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsWindow(dialog) && IsDialogMessageW(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    FreeLibraryAndExitThread(pinned, 0);
}

namespace {

struct DialogSearch {
    std::wstring caption;
    const std::vector<HWND>* known;
    HWND found;
};

bool IsDialogClass(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return std::wstring(name) == L"#32770";
}

BOOL CALLBACK MatchCaption(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<DialogSearch*>(param);
    if (!IsDialogClass(window) || Text(window) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK MatchUnknown(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<DialogSearch*>(param);
    if (!IsDialogClass(window) || !IsWindowVisible(window)) return TRUE;
    for (HWND known : *search->known) {
        if (known == window) return TRUE;
    }
    search->found = window;
    return FALSE;  // the first is the topmost, the innermost of nested modal windows
}

}  // namespace

HWND WaitForDialog(DWORD threadId, const std::wstring& caption, DWORD timeoutMs) {
    DialogSearch search{caption, nullptr, nullptr};
    WaitFor(
        [&] {
            EnumThreadWindows(threadId, MatchCaption, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

HWND WaitForOtherDialog(DWORD threadId, const std::vector<HWND>& known, DWORD timeoutMs) {
    DialogSearch search{L"", &known, nullptr};
    WaitFor(
        [&] {
            EnumThreadWindows(threadId, MatchUnknown, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

bool WaitForGone(HWND window, DWORD timeoutMs) {
    return WaitFor([&] { return !IsWindow(window); }, timeoutMs);
}

std::wstring MessageText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? Text(text) : std::wstring();
}

std::wstring Text(HWND window) {
    wchar_t buffer[4096] = {};
    GetWindowTextW(window, buffer, 4096);
    return buffer;
}

std::wstring ItemText(HWND dialog, int id) {
    return Text(GetDlgItem(dialog, id));
}

void Type(HWND dialog, int id, const std::wstring& text) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Toggle(HWND dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_SETCHECK, IsChecked(dialog, id) ? BST_UNCHECKED : BST_CHECKED, 0);
}

bool IsChecked(HWND dialog, int id) {
    return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static std::wstring CellText(HWND list, int row, int column) {
    wchar_t buffer[4096] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 4096;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return buffer;
}

std::vector<Row> ListRows(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_MAPPING_LIST);
    std::vector<Row> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        rows.push_back({CellText(list, i, 0), CellText(list, i, 1), CellText(list, i, 2)});
    return rows;
}

void SelectRow(HWND dialog, int row) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = row >= 0 ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    SendMessageW(GetDlgItem(dialog, IDC_MAPPING_LIST), LVM_SETITEMSTATE, row >= 0 ? row : -1,
                 reinterpret_cast<LPARAM>(&item));
}

int SelectedRow(HWND dialog) {
    return static_cast<int>(SendDlgItemMessageW(dialog, IDC_MAPPING_LIST, LVM_GETNEXTITEM,
                                                static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool SaveAnyway(DWORD threadId) {
    HWND question = WaitForDialog(threadId, L"velloquin");
    if (!question || MessageText(question).rfind(L"These editors do not exist:", 0) != 0) return false;
    PostMessageW(question, WM_COMMAND, IDYES, 0);
    return WaitForGone(question);
}

void SendDoubleClick(HWND dialog) {
    NMITEMACTIVATE activate = {};
    activate.hdr.hwndFrom = GetDlgItem(dialog, IDC_MAPPING_LIST);
    activate.hdr.idFrom = IDC_MAPPING_LIST;
    activate.hdr.code = NM_DBLCLK;
    activate.iItem = -1;
    SendMessageW(dialog, WM_NOTIFY, IDC_MAPPING_LIST, reinterpret_cast<LPARAM>(&activate));
}

bool FillEditor(HWND editor, const Row& row) {
    if (!editor) return false;
    Type(editor, IDC_EDIT_GROUP, row.group);
    Type(editor, IDC_EDIT_EXTS, row.exts);
    Type(editor, IDC_EDIT_PATH, row.editorPath);
    Click(editor, IDOK);
    return WaitForGone(editor);
}

DWORD RunSelf(const std::wstring& filter, const std::vector<std::wstring>& environment) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(exe) + L"\" --gtest_also_run_disabled_tests --gtest_filter=" + filter;
    std::vector<std::wstring> names;
    for (const std::wstring& pair : environment) {
        size_t equals = pair.find(L'=');
        names.push_back(pair.substr(0, equals));
        SetEnvironmentVariableW(names.back().c_str(), pair.substr(equals + 1).c_str());
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process);
    for (const std::wstring& name : names) SetEnvironmentVariableW(name.c_str(), nullptr);
    if (!started) return static_cast<DWORD>(-1);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, kChildWaitMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &exitCode);
    } else {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, kChildWaitMs);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

}  // namespace dialogs
