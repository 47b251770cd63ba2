// The try-it host's windows: a file list, a preview pane with the plug-in's viewer, a menu with
// the plug-in's settings and About box, and stand-alone viewer windows.

#include "demo_host.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kListWidth = 260;
constexpr int kStatusHeight = 22;
constexpr UINT kIdFileList = 100;
constexpr UINT kCmdOpenStandalone = 200;
constexpr UINT kCmdSettings = 201;
constexpr UINT kCmdAbout = 202;
constexpr UINT kCmdExit = 203;
constexpr DWORD kConfigureNotifyData = 7;
constexpr UINT_PTR kRepaintEditorsTimer = 1;
constexpr UINT kRepaintEditorsDelayMs = 300;

const wchar_t kMainClass[] = L"VelloquinDemoHost";
const wchar_t kPaneClass[] = L"VelloquinDemoPane";
const wchar_t kStandaloneClass[] = L"VelloquinDemoStandalone";

HostWindows hostWindows;
Plugin plugin;

const wchar_t kWholeWindowProperty[] = L"__wine_x11_whole_window";

// Wine's X11 driver (Debian's build) draws another process's window inside ours only when a
// window of this process above it carries the X window of the top-level window; on Windows the
// property does not exist and nothing is set.
void ShareWholeWindow(HWND window) {
    if (!window || !IsWindow(window)) return;
    HANDLE whole = GetPropW(GetAncestor(window, GA_ROOT), kWholeWindowProperty);
    if (whole && whole != GetPropW(window, kWholeWindowProperty))
        SetPropW(window, kWholeWindowProperty, whole);
}

void ForgetWholeWindow(HWND window) {
    if (window && IsWindow(window)) RemovePropW(window, kWholeWindowProperty);
}

DWORD ProcessOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

// An embedded editor: a window of another process whose parent is one of ours. The plug-in keeps
// its WS_POPUP style, so GetParent does not name that parent; GetAncestor does.
BOOL CALLBACK RepaintIfEmbedded(HWND window, LPARAM) noexcept {
    const DWORD self = GetCurrentProcessId();
    if (ProcessOf(window) == self || ProcessOf(GetAncestor(window, GA_PARENT)) != self) return TRUE;
    // A frame change lets an editor that painted before the property was there find it.
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return TRUE;
}

template <typename T>
void WriteAt(void* base, size_t offset, T value) {
    std::memcpy(static_cast<uint8_t*>(base) + offset, &value, sizeof(T));
}

void SetStatus(const std::wstring& text) {
    if (hostWindows.status) SetWindowTextW(hostWindows.status, text.c_str());
}

std::wstring SelectedFile() {
    LRESULT index = SendMessageW(hostWindows.fileList, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR || static_cast<size_t>(index) >= hostWindows.files.size()) return std::wstring();
    return hostWindows.folder + L"\\" + hostWindows.files[static_cast<size_t>(index)];
}

void FillFileList() {
    hostWindows.files.clear();
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((hostWindows.folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) hostWindows.files.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(hostWindows.files.begin(), hostWindows.files.end());
    SendMessageW(hostWindows.fileList, LB_RESETCONTENT, 0, 0);
    for (const std::wstring& name : hostWindows.files) {
        SendMessageW(hostWindows.fileList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
}

void LayoutMain(int width, int height) {
    int paneHeight = std::max(0, height - kStatusHeight);
    MoveWindow(hostWindows.fileList, 0, 0, kListWidth, paneHeight, TRUE);
    MoveWindow(hostWindows.pane, kListWidth + 4, 0, std::max(0, width - kListWidth - 4), paneHeight, TRUE);
    MoveWindow(hostWindows.status, 0, paneHeight, width, kStatusHeight, TRUE);
}

void ResizeViewerToParent(HWND viewer, HWND parent) {
    if (!viewer || !IsWindow(viewer)) return;
    RECT client;
    GetClientRect(parent, &client);
    MoveWindow(viewer, 0, 0, client.right, client.bottom, TRUE);
}

void OnCommand(HWND window, UINT id, UINT code) {
    if (id == kIdFileList && code == LBN_SELCHANGE) {
        std::wstring path = SelectedFile();
        if (!path.empty()) PreviewFile(path);
    } else if (id == kCmdOpenStandalone) {
        std::wstring path = SelectedFile();
        if (!path.empty()) OpenStandaloneViewer(path);
    } else if (id == kCmdSettings) {
        OpenSettings(window);
    } else if (id == kCmdAbout && plugin.about) {
        plugin.about(window);
    } else if (id == kCmdExit) {
        DestroyWindow(window);
    }
}

BOOL CALLBACK RepaintEditorsOf(HWND top, LPARAM) noexcept {
    RepaintEmbeddedEditors(top);
    return TRUE;
}

// A while after a file was shown, when this program has painted, the editors paint once more.
void OnRepaintTimer(HWND window, WPARAM id) {
    if (id != kRepaintEditorsTimer) return;
    KillTimer(window, kRepaintEditorsTimer);
    EnumThreadWindows(GetCurrentThreadId(), RepaintEditorsOf, 0);
}

void RepaintEditorsSoon() {
    if (hostWindows.main) SetTimer(hostWindows.main, kRepaintEditorsTimer, kRepaintEditorsDelayMs, nullptr);
}

// After the settings were saved: the host shows the selected file again with the new settings.
void OnReinitialize() {
    SetStatus(L"Settings saved by the plug-in; showing the selection again.");
    std::wstring path = SelectedFile();
    if (!path.empty()) PreviewFile(path);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
        case WM_SIZE: LayoutMain(LOWORD(lParam), HIWORD(lParam)); return 0;
        case WM_COMMAND: OnCommand(window, LOWORD(wParam), HIWORD(wParam)); return 0;
        case kMsgReinitialize: OnReinitialize(); return 0;
        case WM_TIMER: OnRepaintTimer(window, wParam); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK PaneWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_SIZE) ResizeViewerToParent(hostWindows.viewer, window);
    if (message == WM_DESTROY) ForgetWholeWindow(window);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK StandaloneWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_SIZE) ResizeViewerToParent(GetWindow(window, GW_CHILD), window);
    if (message == WM_DESTROY) ForgetWholeWindow(GetWindow(window, GW_CHILD));
    return DefWindowProcW(window, message, wParam, lParam);
}

HMENU BuildMenu() {
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, kCmdOpenStandalone, L"Open in &stand-alone viewer");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, kCmdExit, L"E&xit");
    HMENU plugins = CreatePopupMenu();
    AppendMenuW(plugins, MF_STRING, kCmdSettings, L"velloquin &Settings...");
    AppendMenuW(plugins, MF_STRING, kCmdAbout, L"&About velloquin...");
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(plugins), L"&Plugins");
    return bar;
}

void RegisterClasses() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpfnWndProc = MainWndProc;
    wc.lpszClassName = kMainClass;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = PaneWndProc;
    wc.lpszClassName = kPaneClass;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassExW(&wc);
    wc.lpfnWndProc = StandaloneWndProc;
    wc.lpszClassName = kStandaloneClass;
    RegisterClassExW(&wc);
}

// The settings dialog posts a quit message to its thread when it closes, so it gets a thread with
// a message loop of its own, as in the real host. The dialog is modeless: the loop hands it its
// keys (Tab, Enter, Esc, access keys) as the real host's does.
DWORD WINAPI SettingsThread(void* owner) {
    HWND dialog = plugin.configure(static_cast<HWND>(owner), hostWindows.main, kConfigureNotifyData);
    if (!dialog) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsWindow(dialog) && IsDialogMessageW(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

}  // namespace

void RepaintEmbeddedEditors(HWND top) {
    if (top && IsWindow(top)) EnumChildWindows(top, RepaintIfEmbedded, 0);
}

HANDLE OpenSettings(HWND owner) {
    if (!plugin.configure) return nullptr;
    return CreateThread(nullptr, 0, SettingsThread, owner, 0, nullptr);
}

void ShowSelection(const std::wstring& name, const std::wstring& status) {
    LRESULT index = SendMessageW(hostWindows.fileList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(name.c_str()));
    SendMessageW(hostWindows.fileList, LB_SETCURSEL, index == LB_ERR ? static_cast<WPARAM>(-1) : index, 0);
    SetStatus(status);
}

HostWindows& Host() {
    return hostWindows;
}

const Plugin& ThePlugin() {
    return plugin;
}

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path);
    return text.substr(0, text.find_last_of(L"\\/"));
}

std::wstring ReadUtf16File(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::wstring();
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    std::wstring text(static_cast<size_t>(size.QuadPart / 2), L'\0');
    DWORD read = 0;
    if (!text.empty()) ReadFile(file, &text[0], static_cast<DWORD>(text.size() * 2), &read, nullptr);
    CloseHandle(file);
    text.resize(read / 2);
    if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
    return text;
}

void WriteUtf16File(const std::wstring& path, const std::wstring& text) {
    CreateDirectoryW(ConfigFolder().c_str(), nullptr);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::wstring withMark = std::wstring(1, wchar_t(0xFEFF)) + text;
    DWORD written = 0;
    WriteFile(file, withMark.data(), static_cast<DWORD>(withMark.size() * 2), &written, nullptr);
    CloseHandle(file);
}

bool LoadPlugin(Plugin& loaded) {
    std::wstring path = ExeFolder() + L"\\velloquin.dll";
    loaded.module = LoadLibraryW(path.c_str());
    if (!loaded.module) return false;
    auto get = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(loaded.module, name)); };
    loaded.identify = reinterpret_cast<decltype(loaded.identify)>(get("DVP_IdentifyW"));
    loaded.identifyFile = reinterpret_cast<decltype(loaded.identifyFile)>(get("DVP_IdentifyFileW"));
    loaded.createViewer = reinterpret_cast<decltype(loaded.createViewer)>(get("DVP_CreateViewer"));
    loaded.configure = reinterpret_cast<decltype(loaded.configure)>(get("DVP_Configure"));
    loaded.about = reinterpret_cast<decltype(loaded.about)>(get("DVP_About"));
    return loaded.identify && loaded.identifyFile && loaded.createViewer && loaded.configure && loaded.about;
}

// The identification record, in the host's 64-bit layout: buffers at 16..48, their capacities
// at 56..72.
bool IdentifyPlugin(const Plugin& loaded, PluginIdentity& identity) {
    uint8_t record[160] = {};
    static wchar_t extensions[4096], name[256], description[512], copyright[256], url[256];
    WriteAt<void*>(record, 16, extensions);
    WriteAt<void*>(record, 24, name);
    WriteAt<void*>(record, 32, description);
    WriteAt<void*>(record, 40, copyright);
    WriteAt<void*>(record, 48, url);
    WriteAt<uint32_t>(record, 56, 4096);
    WriteAt<uint32_t>(record, 60, 256);
    WriteAt<uint32_t>(record, 64, 512);
    WriteAt<uint32_t>(record, 68, 256);
    WriteAt<uint32_t>(record, 72, 256);
    if (!loaded.identify(record)) return false;
    identity.name = name;
    identity.description = description;
    identity.handledExtensions = extensions;
    return true;
}

// The file identification record: description buffer at 24, its capacity at 32.
std::wstring IdentifyFile(const Plugin& loaded, const std::wstring& path) {
    uint8_t record[104] = {};
    wchar_t description[256] = {};
    WriteAt<void*>(record, 24, description);
    WriteAt<uint32_t>(record, 32, 256);
    std::wstring mutablePath = path;
    if (!loaded.identifyFile(hostWindows.main, &mutablePath[0], record, nullptr)) return std::wstring();
    return description[0] ? description : L"(no description)";
}

bool CreateHostWindow(const std::wstring& folder, int showCommand) {
    if (!LoadPlugin(plugin)) return false;
    RegisterClasses();
    hostWindows.folder = folder;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    hostWindows.main = CreateWindowExW(0, kMainClass, L"velloquin try-it host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                       40, 40, 1100, 720, nullptr, BuildMenu(), instance, nullptr);
    if (!hostWindows.main) return false;
    hostWindows.fileList = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 0,
                                           0, 10, 10, hostWindows.main, reinterpret_cast<HMENU>(kIdFileList), instance,
                                           nullptr);
    hostWindows.pane = CreateWindowExW(WS_EX_CLIENTEDGE, kPaneClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                                       0, 10, 10, hostWindows.main, nullptr, instance, nullptr);
    ShareWholeWindow(hostWindows.pane);
    hostWindows.status = CreateWindowExW(0, L"STATIC", L"Select a file.", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP,
                                         0, 0, 10, 10, hostWindows.main, nullptr, instance, nullptr);
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(hostWindows.fileList, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageW(hostWindows.status, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    RECT client;
    GetClientRect(hostWindows.main, &client);
    LayoutMain(client.right, client.bottom);
    FillFileList();
    hostWindows.viewer = plugin.createViewer(hostWindows.pane, nullptr, kViewerInPane);
    ShowWindow(hostWindows.main, showCommand);
    UpdateWindow(hostWindows.main);
    return hostWindows.viewer != nullptr;
}

LRESULT PreviewFile(const std::wstring& path) {
    if (!hostWindows.viewer || !IsWindow(hostWindows.viewer)) return 0;
    std::wstring description = IdentifyFile(plugin, path);
    if (description.empty()) {
        SendMessageW(hostWindows.viewer, kMsgClear, 0, 0);
        SetStatus(L"No editor configured for " + path);
        return 0;
    }
    LRESULT shown = SendMessageW(hostWindows.viewer, kMsgLoadW, 0, reinterpret_cast<LPARAM>(path.c_str()));
    SetStatus((shown ? L"Shown: " : L"Could not show: ") + path + L"   [" + description + L"]");
    RepaintEditorsSoon();
    return shown;
}

HWND OpenStandaloneViewer(const std::wstring& path) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    std::wstring title = L"velloquin stand-alone viewer - " + path;
    HWND frame = CreateWindowExW(0, kStandaloneClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                 120, 120, 900, 600, nullptr, nullptr, instance, nullptr);
    if (!frame) return nullptr;
    HWND viewer = plugin.createViewer(frame, nullptr, 0);
    // The frame is the top-level window itself: its child, the viewer, carries the X window.
    ShareWholeWindow(viewer);
    ShowWindow(frame, SW_SHOW);
    if (viewer) SendMessageW(viewer, kMsgLoadW, 0, reinterpret_cast<LPARAM>(path.c_str()));
    RepaintEditorsSoon();
    return frame;
}

int RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

namespace {

std::wstring ArgumentAfter(int argc, wchar_t** argv, const wchar_t* name) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (wcscmp(argv[i], name) == 0) return argv[i + 1];
    }
    return std::wstring();
}

bool HasArgument(int argc, wchar_t** argv, const wchar_t* name) {
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], name) == 0) return true;
    }
    return false;
}

std::wstring CurrentFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    return folder;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring folder = ArgumentAfter(argc, argv, L"--folder");
    if (folder.empty()) folder = CurrentFolder();
    if (HasArgument(argc, argv, L"--tour")) {
        return RunTour(folder, ArgumentAfter(argc, argv, L"--out"), ArgumentAfter(argc, argv, L"--standins"));
    }
    std::wstring standins = ArgumentAfter(argc, argv, L"--standins");
    if (!standins.empty() && GetFileAttributesW(SettingsFilePath().c_str()) == INVALID_FILE_ATTRIBUTES) {
        StoreStarterSettings(standins);
    }
    if (!CreateHostWindow(folder, SW_SHOWDEFAULT)) {
        MessageBoxW(nullptr, L"velloquin.dll could not be loaded from the program's folder.", L"velloquin try-it host",
                    MB_ICONERROR);
        return 1;
    }
    return RunMessageLoop();
}
