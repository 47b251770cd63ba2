// Shows one of the plug-in's dialogs for a picture: dopus.exe --show config|editor|about --ready FILE
// --done FILE [--config-folder FOLDER [--seed]]. Writes the window's screen rectangle ("WxH+X+Y") to the
// ready file once the window is up, and ends when the done file appears.

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "host/test_host.h"
#include "resources/resource.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

constexpr DWORD kWindowWaitMs = 20000;
constexpr DWORD kDoneWaitMs = 60000;
constexpr int kConfigCommandEdit = IDC_BTN_EDIT;

struct Request {
    std::wstring show, readyFile, doneFile;
    DWORD uiThread = 0;
};

const wchar_t* CaptionFor(const std::wstring& show) {
    if (show == L"editor") return L"Edit Mapping";
    if (show == L"about") return L"About velloquin";
    return L"velloquin Configuration";
}

HWND WaitForCaption(const wchar_t* caption) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindWindowW(L"#32770", caption)) != nullptr && IsWindowVisible(found); },
            kWindowWaitMs);
    return found;
}

void SeedSettings() {
    testhost::Store store;
    store[L"mappings"] = {
        4,
        L"text\ttxt;log;ini;cfg;conf;md;csv;xml;json;yaml;toml\t/home\\viewers\\Notepad4\\Notepad4.exe\n"
        L"code\tc;cpp;h;hpp;cs;java;py;js;ts;html;css;sql;sh;bat;ps1;go;rs;lua\t"
        L"C:\\Program Files\\Notepad++\\notepad++.exe\n"
        L"notes\tnfo;diz;1st\t%LOCALAPPDATA%\\Programs\\EmEditor\\EmEditor.exe",
        0};
    store[L"editorParams"] = {4, L"/s", 0};
    store[L"maximizeStandaloneViewer"] = {0, L"", 1};
    store[L"focusEditorOnLoad"] = {0, L"", 0};
    store[L"keepEditorsReady"] = {0, L"", 1};
    testhost::WriteStore(store);
}

void OpenEditorOnFirstRow(HWND config) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(GetDlgItem(config, IDC_MAPPING_LIST), LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
    PostMessageW(config, WM_COMMAND, MAKEWPARAM(kConfigCommandEdit, BN_CLICKED), 0);
}

DWORD WINAPI Watch(void* param) {
    const Request& request = *static_cast<Request*>(param);
    if (request.show == L"editor") {
        HWND config = WaitForCaption(L"velloquin Configuration");
        if (config) OpenEditorOnFirstRow(config);
    }
    HWND window = WaitForCaption(CaptionFor(request.show));
    RECT rect = {};
    if (window) {
        SetWindowPos(window, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE);
        GetWindowRect(window, &rect);
    }
    char text[64];
    snprintf(text, sizeof(text), "%ldx%ld+%ld+%ld", rect.right - rect.left, rect.bottom - rect.top, rect.left,
             rect.top);
    WriteFileText(request.readyFile, text);
    WaitFor([&] { return FileExists(request.doneFile); }, kDoneWaitMs);
    ExitProcess(window ? 0 : 1);
}

std::wstring Argument(int argc, wchar_t** argv, const wchar_t* name) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::wstring(argv[i]) == name) return argv[i + 1];
    }
    return L"";
}

bool HasSwitch(int argc, wchar_t** argv, const wchar_t* name) {
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == name) return true;
    }
    return false;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Request request;
    request.show = Argument(argc, argv, L"--show");
    request.readyFile = Argument(argc, argv, L"--ready");
    request.doneFile = Argument(argc, argv, L"--done");
    // --config-folder: the settings of that folder (another host's, as they are, or with --seed the
    // example settings); else example settings in a temporary folder.
    std::wstring configFolder = Argument(argc, argv, L"--config-folder");
    bool seed = configFolder.empty() || HasSwitch(argc, argv, L"--seed");
    if (configFolder.empty()) configFolder = MakeTempDir(L"screenshots");
    // With the separator at its end, the settings file is named as the try-it host names it.
    if (configFolder.back() != L'\\') configFolder += L'\\';
    CreateDirectoryW(configFolder.c_str(), nullptr);
    testhost::Host().configFolder = configFolder;
    if (seed) SeedSettings();

    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    LoadedPlugin plugin;
    CloseHandle(CreateThread(nullptr, 0, Watch, &request, 0, nullptr));
    using Configure = HWND(WINAPI*)(HWND, HWND, DWORD);
    if (request.show == L"about") {
        // The About text names the settings file, which the other entry points locate.
        DestroyWindow(plugin.Get<Configure>("DVP_Configure")(nullptr, nullptr, 0));
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        plugin.Get<LRESULT(WINAPI*)(HWND)>("DVP_About")(nullptr);
        return 0;
    }
    HWND dialog = plugin.Get<Configure>("DVP_Configure")(nullptr, nullptr, 0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsWindow(dialog) && IsDialogMessageW(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
