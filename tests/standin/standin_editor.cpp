// A stand-in for the editors the plug-in embeds. One program, copied under each editor's file
// name; it takes the window classes of the editor it is named after, honours the start-up show
// state, and writes everything it receives to a journal that the tests read.
//
// Journal: the file named by --journal=PATH or by the environment variable
// VELLOQUIN_STANDIN_JOURNAL; one UTF-8 line per event: "<pid> <tick> <event> <detail>".
//   start <command line>          window <hwnd> <class>        copydata <dwData> <cbData> <hex>
//   dropfiles <receiver class>    scintilla <2014|2026|2159>   size <w> <h>
//   close                         prompt                       hang <message>    exit <code>
//
// Switches (anywhere in the command line, so they can arrive through the editor parameters):
//   --late=MS          create the main window MS ms after start (the message loop runs meanwhile)
//   --no-window        never create the main window
//   --exit=CODE        exit at once with CODE
//   --decoy=KIND       first create a visible window the capture must pass over:
//                      splash (untitled popup), tool (tool window), nosysmenu (caption, no system menu),
//                      frame (of the main window's class, 150x150 popup without caption bits)
//   --ignore-close     WM_CLOSE does nothing
//   --copydata-zero    WM_COPYDATA answers 0
//   --hang=MSG         once the main window exists, the handler of message MSG (decimal) never returns;
//                      the main window's handler, or for Scintilla messages (2000 and up) the edit window's
//   --hang-skip=N      ... except for the first N such messages, which are handled normally
//   --unsaved          the document is modified: 2159 answers 1 and WM_CLOSE opens a prompt window
//   --size=WxH         main window size (default 640x480)
//   --style=0xHEX      main window style (default WS_OVERLAPPEDWINDOW)
//   --lifetime=MS      the process ends itself after MS ms (default 120000), so none is left behind
//   --first-paint=MS   the main window's first WM_PAINT takes MS ms; journals "painted" when done
//   --busy=MS          works MS ms before its first window and message loop (not idle meanwhile)

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>

namespace {

constexpr UINT kSciSetSavePoint = 2014;
constexpr UINT kSciSetAnchor = 2026;
constexpr UINT kSciGetModify = 2159;
constexpr UINT kFirstScintillaMessage = 2000;
constexpr DWORD kDefaultLifetimeMs = 120000;
constexpr int kLifetimeExitCode = 99;

enum class Flavour { Notepad3, Notepad4, NotepadPlusPlus, EverEdit, EmEditor, Other };

struct Options {
    std::wstring journalPath;
    DWORD lateMs = 0;
    bool noWindow = false;
    bool exitAtOnce = false;
    int exitCode = 0;
    std::wstring decoy;
    bool ignoreClose = false;
    bool copyDataZero = false;
    UINT hangMessage = 0;
    int hangSkip = 0;
    bool unsaved = false;
    int width = 640;
    int height = 480;
    DWORD style = WS_OVERLAPPEDWINDOW;
    DWORD lifetimeMs = kDefaultLifetimeMs;
    DWORD firstPaintMs = 0;
    DWORD busyMs = 0;
};

struct App {
    Options options;
    Flavour flavour = Flavour::Other;
    int showCommand = SW_SHOWDEFAULT;
    HWND mainWindow = nullptr;
    HWND editWindow = nullptr;
    bool mainCreated = false;
    bool modified = false;
};

App app;

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

void Journal(const char* event, const std::string& detail) {
    if (app.options.journalPath.empty()) return;
    char head[96];
    std::snprintf(head, sizeof head, "%lu %llu %s ", GetCurrentProcessId(),
                  static_cast<unsigned long long>(GetTickCount64()), event);
    std::string line = head + detail + "\n";
    HANDLE file = CreateFileW(app.options.journalPath.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Hex(const void* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

std::string WindowText(HWND window) {
    char text[64];
    std::snprintf(text, sizeof text, "%016llX",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return text;
}

std::string ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return ToUtf8(name);
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix, std::wstring* rest) {
    size_t n = wcslen(prefix);
    if (text.compare(0, n, prefix) != 0) return false;
    if (rest) *rest = text.substr(n);
    return true;
}

void ParseSwitch(const std::wstring& arg, Options& options) {
    std::wstring value;
    if (StartsWith(arg, L"--journal=", &value))
        options.journalPath = value;
    else if (StartsWith(arg, L"--late=", &value))
        options.lateMs = wcstoul(value.c_str(), nullptr, 10);
    else if (arg == L"--no-window")
        options.noWindow = true;
    else if (StartsWith(arg, L"--exit=", &value)) {
        options.exitAtOnce = true;
        options.exitCode = static_cast<int>(wcstol(value.c_str(), nullptr, 10));
    } else if (StartsWith(arg, L"--decoy=", &value))
        options.decoy = value;
    else if (arg == L"--ignore-close")
        options.ignoreClose = true;
    else if (arg == L"--copydata-zero")
        options.copyDataZero = true;
    else if (StartsWith(arg, L"--hang=", &value))
        options.hangMessage = wcstoul(value.c_str(), nullptr, 10);
    else if (StartsWith(arg, L"--hang-skip=", &value))
        options.hangSkip = static_cast<int>(wcstol(value.c_str(), nullptr, 10));
    else if (arg == L"--unsaved")
        options.unsaved = true;
    else if (StartsWith(arg, L"--size=", &value)) {
        wchar_t* end = nullptr;
        options.width = static_cast<int>(wcstol(value.c_str(), &end, 10));
        if (end && *end == L'x') options.height = static_cast<int>(wcstol(end + 1, nullptr, 10));
    } else if (StartsWith(arg, L"--style=", &value))
        options.style = wcstoul(value.c_str(), nullptr, 16);
    else if (StartsWith(arg, L"--lifetime=", &value))
        options.lifetimeMs = wcstoul(value.c_str(), nullptr, 10);
    else if (StartsWith(arg, L"--first-paint=", &value))
        options.firstPaintMs = wcstoul(value.c_str(), nullptr, 10);
    else if (StartsWith(arg, L"--busy=", &value))
        options.busyMs = wcstoul(value.c_str(), nullptr, 10);
}

Options ParseOptions() {
    Options options;
    wchar_t journal[MAX_PATH * 2] = {};
    if (GetEnvironmentVariableW(L"VELLOQUIN_STANDIN_JOURNAL", journal, MAX_PATH * 2) > 0)
        options.journalPath = journal;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; args && i < count; ++i) ParseSwitch(args[i], options);
    if (args) LocalFree(args);
    return options;
}

Flavour FlavourFromFileName() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path);
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    for (wchar_t& c : name) c = static_cast<wchar_t>(towlower(c));
    if (name == L"notepad3.exe") return Flavour::Notepad3;
    if (name == L"notepad4.exe") return Flavour::Notepad4;
    if (name == L"notepad++.exe") return Flavour::NotepadPlusPlus;
    if (name == L"everedit.exe") return Flavour::EverEdit;
    if (name == L"emeditor.exe") return Flavour::EmEditor;
    return Flavour::Other;
}

const wchar_t* MainClassName() {
    switch (app.flavour) {
        case Flavour::Notepad3:
            return L"Notepad3";
        case Flavour::Notepad4:
            return L"Notepad4";
        case Flavour::NotepadPlusPlus:
            return L"Notepad++";
        case Flavour::EverEdit:
            return L"EverEdit";
        case Flavour::EmEditor:
            return L"EmEditorMainFrame3";
        case Flavour::Other:
            break;
    }
    return L"StandinEditor";
}

bool HasScintilla() {
    return app.flavour == Flavour::Notepad3 || app.flavour == Flavour::Notepad4 ||
           app.flavour == Flavour::NotepadPlusPlus;
}

void HangIfAsked(UINT message) {
    if (!app.mainCreated || app.options.hangMessage == 0 || message != app.options.hangMessage) return;
    if (app.options.hangSkip-- > 0) return;
    Journal("hang", std::to_string(message));
    for (;;) Sleep(1000);  // the lifetime watchdog ends the process
}

void OpenPrompt() {
    Journal("prompt", "");
    CreateWindowExW(0, L"StandinPrompt", L"Save changes?", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 200, 320,
                    160, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

LRESULT OnCopyData(const COPYDATASTRUCT* data) {
    if (!data) return 0;
    char head[64];
    std::snprintf(head, sizeof head, "%llX %lu ", static_cast<unsigned long long>(data->dwData),
                  data->cbData);
    Journal("copydata", head + Hex(data->lpData, data->lpData ? data->cbData : 0));
    return app.options.copyDataZero ? 0 : 1;
}

LRESULT OnClose(HWND window) {
    Journal("close", "");
    if (app.options.ignoreClose) return 0;
    if (app.modified) {
        OpenPrompt();
        return 0;
    }
    DestroyWindow(window);
    return 0;
}

void OnSize(LPARAM lParam) {
    Journal("size", std::to_string(LOWORD(lParam)) + " " + std::to_string(HIWORD(lParam)));
    if (app.editWindow) MoveWindow(app.editWindow, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
}

// --first-paint: an editor that takes its time to draw its first frame.
bool firstPaintDone = false;

void PaintSlowlyOnce(HWND window) {
    if (firstPaintDone || app.options.firstPaintMs == 0) return;
    firstPaintDone = true;
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    Sleep(app.options.firstPaintMs);
    EndPaint(window, &paint);
    Journal("painted", std::to_string(app.options.firstPaintMs));
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HangIfAsked(message);
    if (message == WM_PAINT && !firstPaintDone && app.options.firstPaintMs != 0) {
        PaintSlowlyOnce(window);
        return 0;
    }
    switch (message) {
        case WM_COPYDATA:
            return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        case WM_DROPFILES:
            Journal("dropfiles", ClassOf(window));
            return 0;
        case WM_SIZE:
            OnSize(lParam);
            return 0;
        case WM_CLOSE:
            return OnClose(window);
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK EditWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= kFirstScintillaMessage) HangIfAsked(message);
    switch (message) {
        case kSciSetSavePoint:
            Journal("scintilla", "2014");
            app.modified = false;
            return 0;
        case kSciSetAnchor:
            Journal("scintilla", "2026");
            return 0;
        case kSciGetModify:
            Journal("scintilla", "2159");
            return app.modified ? 1 : 0;
        case WM_DROPFILES:
            Journal("dropfiles", ClassOf(window));
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK PromptWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        // The user answered "don't save": the editor ends.
        Journal("prompt-closed", "");
        DestroyWindow(window);
        if (IsWindow(app.mainWindow)) DestroyWindow(app.mainWindow);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Register(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

void RegisterClasses() {
    Register(MainClassName(), MainWndProc);
    Register(L"Scintilla", EditWndProc);
    Register(L"StandinEdit", EditWndProc);
    Register(L"StandinPrompt", PromptWndProc);
    Register(L"StandinDecoy", DefWindowProcW);
}

void CreateDecoy() {
    const std::wstring& kind = app.options.decoy;
    DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    DWORD exStyle = 0;
    const wchar_t* title = L"Stand-in decoy";
    const wchar_t* className = L"StandinDecoy";
    int width = 400;
    int height = 300;
    if (kind == L"frame") {
        // Of the main window's class, but without caption bits and smaller than 200 by 200.
        className = MainClassName();
        style = WS_POPUP | WS_VISIBLE;
        width = height = 150;
    } else if (kind == L"splash") {
        style = WS_POPUP | WS_VISIBLE;
        title = L"";
    } else if (kind == L"tool") {
        exStyle = WS_EX_TOOLWINDOW;
    } else if (kind == L"nosysmenu") {
        style = WS_CAPTION | WS_VISIBLE;
    } else {
        return;
    }
    HWND decoy = CreateWindowExW(exStyle, className, title, style, 150, 150, width, height, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    Journal("decoy", WindowText(decoy) + " " + ToUtf8(kind));
}

void CreateMainWindow() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    app.modified = app.options.unsaved;
    app.mainWindow =
        CreateWindowExW(WS_EX_ACCEPTFILES, MainClassName(), L"Stand-in editor", app.options.style, 100, 100,
                        app.options.width, app.options.height, nullptr, nullptr, instance, nullptr);
    if (!app.mainWindow) {
        Journal("window-failed", std::to_string(GetLastError()));
        PostQuitMessage(1);
        return;
    }
    RECT client = {};
    GetClientRect(app.mainWindow, &client);
    app.editWindow = CreateWindowExW(WS_EX_ACCEPTFILES, HasScintilla() ? L"Scintilla" : L"StandinEdit", L"",
                                     WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom, app.mainWindow,
                                     nullptr, instance, nullptr);
    Journal("window", WindowText(app.mainWindow) + " " + ToUtf8(MainClassName()));
    app.mainCreated = true;
    ShowWindow(app.mainWindow, app.showCommand);
    UpdateWindow(app.mainWindow);
}

void CALLBACK OnLateTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    CreateMainWindow();
}

DWORD WINAPI Watchdog(LPVOID) {
    Sleep(app.options.lifetimeMs);
    Journal("lifetime", "");
    ExitProcess(kLifetimeExitCode);
}

int StartupShowCommand() {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    app.options = ParseOptions();
    app.flavour = FlavourFromFileName();
    app.showCommand = StartupShowCommand();
    Journal("start", ToUtf8(GetCommandLineW()));
    if (app.options.exitAtOnce) {
        Journal("exit", std::to_string(app.options.exitCode));
        return app.options.exitCode;
    }
    HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
    if (watchdog) CloseHandle(watchdog);
    if (app.options.busyMs > 0) Sleep(app.options.busyMs);  // --busy: not idle yet
    RegisterClasses();
    CreateDecoy();
    if (app.options.lateMs > 0 && !app.options.noWindow)
        SetTimer(nullptr, 0, app.options.lateMs, OnLateTimer);
    else if (!app.options.noWindow)
        CreateMainWindow();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    int code = static_cast<int>(msg.wParam);
    Journal("exit", std::to_string(code));
    return code;
}
