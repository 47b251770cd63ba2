// A stand-in for the editors the plug-in embeds. One program, copied under each editor's file
// name; it takes the window classes of the editor it is named after, honours the start-up show
// state, and writes everything it receives to a journal that the tests read.
//
// Journal: the file named by --journal=PATH or by the environment variable
// VELLOQUIN_STANDIN_JOURNAL; one UTF-8 line per event: "<pid> <tick> <event> <detail>".
//   start <command line>          window <hwnd> <class>        copydata <dwData> <cbData> <hex>
//   dropfiles <receiver class>    scintilla <2014|2026|2159>   size <w> <h>
//   close                         prompt                       hang <message>    exit <code>
//   key <character typed into its text window>
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
//   --reuse-window     Notepad3/Notepad4: started without /n, hand the file to another window of the
//                      same class (a 0xFB10 record) and exit, as the real ones do with "reuse window" on
//   --sender-check     Notepad++: a WM_COPYDATA whose wParam is not a window of another process of the
//                      same executable is ignored (still answered TRUE), as Notepad++ since August 2026
//   --slow-exit=MS     after its main window is destroyed, spends MS ms writing the settings file
//                      <journal>.<pid>.settings ("begin", one line per 50 ms, "end"): a kill leaves it cut
//   --late-question=MS on WM_CLOSE, opens its save question only MS ms later (a modified background tab;
//                      Notepad++ counts it among its documents)
//   --hang-after=MSG   once message MSG (decimal; 0 is WM_NULL) was handled, the next message of its
//                      windows never returns
//   --single-process   an EmEditor that runs once: a second process hands its command line to the
//                      first one's window (WM_COPYDATA 0x53504831) and exits with 0; the first opens a
//                      new frame window for it ("window" entry)
//   --first-paint=MS   the main window's first WM_PAINT takes MS ms; journals "painted" when done
//   --busy=MS          works MS ms before its first window and message loop (not idle meanwhile)
//   --no-paint         paints nothing of its own (for timings: its painting would compete with the sender)
//   --busy-after-window=MS  works MS ms after creating and showing its main window, before its
//                      message loop (as a real Notepad4 that reads its settings and the file)
//   --show-at-once     shows the main window whatever the start-up show state (as Notepad4 and
//                      Notepad++ do)
//   --question-on-copydata  every WM_COPYDATA opens a modal question box ("question <hwnd>") whose
//                      message loop runs inside the sender's send until the box is closed
//                      ("question-answered"), as Notepad4 asks "not found, create?"
//   --user-tab=PATH    Notepad++: the user's own file, opened as a new tab when the test posts WM_APP+1
//                      to the main window; WM_APP+2 with wParam N activates tab N (0 is the first)
//   --busy-later=D:MS  D ms after its main window exists, its thread works MS ms without reading
//                      messages (a long Replace All); journals "busy" when it starts and "idle" after
//   --busy-first=D:MS  as --busy-later, in the first stand-in of its journal only (it leaves a mark
//                      file <journal>.busy beside the journal): an editor started after it is not busy
//   --close-to-tray    WM_CLOSE hides the window ("tray"), as Notepad4 set to the tray does (its icon
//                      goes to the notification area; the window is not minimised)
//   --minimise-on-close  WM_CLOSE minimises the window ("minimised")
//   --modified-title   Notepad++: the title begins with '*' while the edit window answers 2159 with 0
//                      (a modified document in Notepad++'s other view)
//   Notepad++ as the real one besides: started without -multiInst while another Notepad++ runs (its
//                      "nppInstance" mutex exists), it looks for a top-level window of class "Notepad++"
//                      (FindWindow, five more tries 100 ms apart), hands it its file (WM_COPYDATA 2, wParam
//                      a message-only window of its own), journals "handover <hwnd>" and exits; WM_APP+3
//                      opens a "new 1" tab with text (modified); NPPM_GETNBOPENFILES answers per view; a
//                      path it cannot open at start shows "Cannot open file" (owned by the main window,
//                      which is disabled until it is closed); its window is created at 0,0 0x0 and
//                      placed after --busy-after-window, as the real one places itself after creation;
//                      each file it opens takes the keyboard focus into its edit window
//   --question-at-start opens a question owned by the main window right after it (Notepad4's "not
//                      found, create?"): the main window is disabled and WM_CLOSE does nothing meanwhile
//   --windowless-after-destroy  keeps running once its main window was destroyed ("destroyed"), as
//                      Notepad4 does when its window went with its host's
//   --settings=PATH    reads "placement X Y W H" from PATH at start and opens its window there; at exit
//                      writes "placement X Y W H" (of its window's normal placement) and its recent
//                      files ("recent <path>", the shown files first, at most 10) back, as real editors do
//   --own-settings     Notepad3, Notepad4, Notepad++: keeps its window placement and recent files where
//                      and how the real one does ("settings-loaded <path>" at start, "settings-saved
//                      <path>" at exit). Notepad4: Notepad4.ini beside the exe (%LOCALAPPDATA%\Notepad4
//                      for an installed copy), [Window Position WxH] (WindowMaximized=1 shows it
//                      maximized whatever it was asked, unless "/p X,Y,W,H" places it) and [Recent
//                      Files] (up to 32, written as its RelativeFileMRU does: %CSIDL:MYDOCUMENTS%\..,
//                      relative to its folder off the Windows drive, %USERPROFILE%\.. and the like;
//                      '?' for what an ANSI ini's code page lacks). Notepad3: the
//                      ini of /f PATH (/f0: none), else <exe name>.ini or Notepad3.ini beside the exe and
//                      the ini its [Notepad3] Notepad3.ini= names; [Window] "WxH PosX".. and [Recent
//                      Files]. Both merge their recent files with the stored ones at exit. Notepad++:
//                      config.xml in the folder of -settingsDir=DIR ("settings-dir-invalid <DIR>" when
//                      it does not exist), else beside the exe with doLocalConf.xml, else
//                      %APPDATA%\Notepad++; <History> gets each closed tab (and the tabs open at exit),
//                      AppPosition the placement; the file is written only where these changed
//
// The main window journals "desktop-visible" the first time it is visible and opaque (not layered
// with alpha 0) as a top-level window, and "embedded" the first time it has another parent: a
// "desktop-visible" before "embedded" is a window the user saw flash on the desktop.
//
// Notepad4 journals each 0xFB10 record as it reads it (x64 24.09+ layout): "np4params <byte 0>
// <int 8> <int 12> <int 32> <path at 48>". Notepad++ shows one tab per file, titles its window
// "[*]<path> - Notepad++" ("new 1" without a tab), and closes the active tab on NPPM_MENUCOMMAND
// File > Close unless it is modified: "tab-open <path>", "tab-show <path>" (open already),
// "tab-close <path>", "tab-close-asked <path>", "copydata-ignored", "tab-activate <index>". It
// reads the path of NPPM_DOOPEN ("doopen <path>", answers whether it opened) and
// NPPM_SWITCHTOFILE ("tab-switch <path>", answers whether such a tab exists) in its own memory.
// A path of 259 units or more, however it comes, opens nothing: "tab-dropped <path>".
// Notepad4 reads its file as the real one does: the command-line argument is copied with its opening
// quote into MAX_PATH units (a path of 259 units loses its last unit, a longer one leaves an empty
// document), a record's path is cut to 259 units, and %VARIABLES% are expanded in either; then
// "opened <path>" (empty: no file), or "not-found <path>" where the real one asks whether to create it.

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

constexpr UINT kSciSetSavePoint = 2014;
constexpr UINT kSciSetAnchor = 2026;
constexpr UINT kSciGetModify = 2159;
constexpr UINT kFirstScintillaMessage = 2000;
constexpr DWORD kDefaultLifetimeMs = 120000;
constexpr int kLifetimeExitCode = 99;
constexpr DWORD kSettingsLinePeriodMs = 50;
constexpr UINT_PTR kLateQuestionTimer = 7;
constexpr UINT_PTR kBusyLaterTimer = 8;
constexpr ULONG_PTR kHandOverData = 0x53504831;
constexpr UINT kHandOverTimeoutMs = 5000;

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
    bool reuseWindow = false;
    bool senderCheck = false;
    bool newWindow = false;  // "/n"
    std::wstring file;       // the last argument that is not a switch
    DWORD slowExitMs = 0;
    DWORD lateQuestionMs = 0;
    UINT hangAfterMessage = 0;
    bool hangAfterSet = false;
    bool singleProcess = false;
    bool noPaint = false;
    bool questionOnCopyData = false;
    std::wstring userTab;
    DWORD firstPaintMs = 0;
    DWORD busyMs = 0;
    DWORD busyAfterWindowMs = 0;
    bool showAtOnce = false;
    DWORD busyLaterDelayMs = 0;
    DWORD busyLaterMs = 0;
    bool busyFirstOnly = false;
    bool closeToTray = false;
    bool minimiseOnClose = false;
    bool modifiedTitle = false;
    bool questionAtStart = false;
    bool windowlessAfterDestroy = false;
    std::wstring settingsPath;
    bool ownSettings = false;
    std::wstring iniArgument;  // Notepad3's /f PATH
    bool noIni = false;        // Notepad3's /f0
    std::wstring settingsDir;  // Notepad++'s -settingsDir=
    bool settingsDirGiven = false;
    bool positionGiven = false;  // Notepad4's /p X,Y,W,H[,MAX]
    RECT position = {};
    bool positionMaximized = false;
};

struct App {
    Options options;
    Flavour flavour = Flavour::Other;
    int showCommand = SW_SHOWDEFAULT;
    HWND mainWindow = nullptr;
    HWND editWindow = nullptr;
    bool mainCreated = false;
    bool modified = false;
    bool hangAtNextMessage = false;
    bool questionOpen = false;
    std::vector<HWND> handedOverFrames;
};

App app;

void WriteSettings(HWND window);
void SaveOwnSettings(HWND window);

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

// Notepad3's "/f PATH" (or -f, either case): the next argument names its ini file.
bool IsIniSwitch(const wchar_t* arg) {
    return (arg[0] == L'/' || arg[0] == L'-') && towlower(arg[1]) == L'f' && arg[2] == L'\0';
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
    else if (arg == L"--reuse-window")
        options.reuseWindow = true;
    else if (arg == L"--sender-check")
        options.senderCheck = true;
    else if (arg == L"/n")
        options.newWindow = true;
    else if (StartsWith(arg, L"--slow-exit=", &value))
        options.slowExitMs = wcstoul(value.c_str(), nullptr, 10);
    else if (StartsWith(arg, L"--late-question=", &value))
        options.lateQuestionMs = wcstoul(value.c_str(), nullptr, 10);
    else if (StartsWith(arg, L"--hang-after=", &value)) {
        options.hangAfterMessage = wcstoul(value.c_str(), nullptr, 10);
        options.hangAfterSet = true;
    } else if (arg == L"--single-process")
        options.singleProcess = true;
    else if (StartsWith(arg, L"--first-paint=", &value))
        options.firstPaintMs = wcstoul(value.c_str(), nullptr, 10);
    else if (StartsWith(arg, L"--busy=", &value))
        options.busyMs = wcstoul(value.c_str(), nullptr, 10);
    else if (arg == L"--no-paint")
        options.noPaint = true;
    else if (StartsWith(arg, L"--busy-after-window=", &value))
        options.busyAfterWindowMs = wcstoul(value.c_str(), nullptr, 10);
    else if (arg == L"--show-at-once")
        options.showAtOnce = true;
    else if (arg == L"--question-on-copydata")
        options.questionOnCopyData = true;
    else if (StartsWith(arg, L"--user-tab=", &value))
        options.userTab = value;
    else if (StartsWith(arg, L"--busy-first=", &value)) {
        wchar_t* end = nullptr;
        options.busyLaterDelayMs = wcstoul(value.c_str(), &end, 10);
        if (end && *end == L':') options.busyLaterMs = wcstoul(end + 1, nullptr, 10);
        options.busyFirstOnly = true;
    } else if (StartsWith(arg, L"--busy-later=", &value)) {
        wchar_t* end = nullptr;
        options.busyLaterDelayMs = wcstoul(value.c_str(), &end, 10);
        if (end && *end == L':') options.busyLaterMs = wcstoul(end + 1, nullptr, 10);
    } else if (arg == L"--close-to-tray")
        options.closeToTray = true;
    else if (arg == L"--minimise-on-close")
        options.minimiseOnClose = true;
    else if (arg == L"--modified-title")
        options.modifiedTitle = true;
    else if (arg == L"--question-at-start")
        options.questionAtStart = true;
    else if (arg == L"--windowless-after-destroy")
        options.windowlessAfterDestroy = true;
    else if (StartsWith(arg, L"--settings=", &value))
        options.settingsPath = value;
    else if (arg == L"--own-settings")
        options.ownSettings = true;
    else if (StartsWith(arg, L"-settingsDir=", &value)) {
        if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
            value = value.substr(1, value.size() - 2);
        options.settingsDir = value;
        options.settingsDirGiven = true;
    } else if (arg.size() == 3 && IsIniSwitch(arg.substr(0, 2).c_str()) && arg[2] == L'0')
        options.noIni = true;
    else if (!arg.empty() && arg[0] != L'-' && arg[0] != L'/')
        options.file = arg;
}

// Notepad4's "/p X,Y,W,H[,MAX]": its window there, the ini's position ignored.
void ParsePosition(const wchar_t* text, Options& options) {
    int v[5] = {};
    const int n = swscanf(text, L"%d,%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3], &v[4]);
    if (n < 4) return;
    options.positionGiven = true;
    options.position = {v[0], v[1], v[0] + v[2], v[1] + v[3]};
    options.positionMaximized = n == 5 && v[4] != 0;
}

Options ParseOptions() {
    Options options;
    wchar_t journal[MAX_PATH * 2] = {};
    if (GetEnvironmentVariableW(L"VELLOQUIN_STANDIN_JOURNAL", journal, MAX_PATH * 2) > 0)
        options.journalPath = journal;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; args && i < count; ++i) {
        if (IsIniSwitch(args[i]) && i + 1 < count)
            options.iniArgument = args[++i];
        else if ((lstrcmpiW(args[i], L"/p") == 0 || lstrcmpiW(args[i], L"-p") == 0) && i + 1 < count)
            ParsePosition(args[++i], options);
        else
            ParseSwitch(args[i], options);
    }
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

// What the stand-in shows in its window, so that a picture of it tells which stand-in it is, which
// file it was given and what it received last: the file name comes from the command line or a
// WM_COPYDATA record (a dropped file's name does not cross processes under Wine).
constexpr size_t kShownFileBytes = 8192;
constexpr int kShownTabWidth = 4;
constexpr int kShownMargin = 8;

struct Shown {
    std::wstring file;
    std::wstring received = L"the command line";
    std::wstring text;
    bool textPending = false;  // text is still to be read from file
};

Shown shown;

std::wstring FlavourTitle() {
    switch (app.flavour) {
        case Flavour::Notepad3:
            return L"Stand-in Notepad3";
        case Flavour::Notepad4:
            return L"Stand-in Notepad4";
        case Flavour::NotepadPlusPlus:
            return L"Stand-in Notepad++";
        case Flavour::EverEdit:
            return L"Stand-in EverEdit";
        case Flavour::EmEditor:
            return L"Stand-in EmEditor";
        case Flavour::Other:
            break;
    }
    return L"Stand-in editor";
}

COLORREF FlavourColour() {
    switch (app.flavour) {
        case Flavour::Notepad3:
        case Flavour::Notepad4:
            return RGB(198, 222, 255);
        case Flavour::NotepadPlusPlus:
            return RGB(206, 240, 198);
        case Flavour::EverEdit:
            return RGB(255, 226, 184);
        case Flavour::EmEditor:
            return RGB(236, 214, 255);
        case Flavour::Other:
            break;
    }
    return RGB(224, 224, 224);
}

std::wstring FirstLinesOf(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return L"(the file cannot be read)";
    std::string bytes(kShownFileBytes, '\0');
    DWORD read = 0;
    if (!ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
    CloseHandle(file);
    bytes.resize(read);
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0], n);
    std::wstring text;
    for (wchar_t c : wide) {
        if (c == L'\t')
            text.append(static_cast<size_t>(kShownTabWidth), L' ');
        else if (c != L'\r' && c != 0xFEFF)
            text += c;
    }
    return text;
}

std::vector<std::wstring> sessionFiles;  // the files shown, latest first
std::vector<std::wstring> nppHistory;    // Notepad++'s recent files (closed documents), latest first
constexpr size_t kRecentCapacity = 10;
size_t nppHistoryCapacity = kRecentCapacity;

void RemoveFrom(std::vector<std::wstring>& list, const std::wstring& path) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (lstrcmpiW(list[i].c_str(), path.c_str()) == 0) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

// As the editors' recent-file lists: an equal entry moves to the top.
void AddOnTop(std::vector<std::wstring>& list, const std::wstring& path, size_t capacity) {
    if (path.empty()) return;
    RemoveFrom(list, path);
    list.insert(list.begin(), path);
    if (list.size() > capacity) list.resize(capacity);
}

void RememberShown(const std::wstring& path) {
    AddOnTop(sessionFiles, path, SIZE_MAX);
}

void ShowFile(const std::wstring& path, const std::wstring& received) {
    RememberShown(path);
    if (app.options.noPaint) return;
    shown.file = path;
    shown.received = received;
    // Read at the next paint, not here: a hand-off waits for this handler, and the timings of the
    // plug-in's hand-offs should not include this stand-in reading the file.
    shown.text.clear();
    shown.textPending = !path.empty();
    if (app.editWindow) InvalidateRect(app.editWindow, nullptr, TRUE);
}

// ---- Notepad4: which file it makes of the path it is given ----

constexpr size_t kNotepad4PathBuffer = 260;  // MAX_PATH units, the NUL among them

// The argument is copied with its opening quote: quote, path and NUL must fit.
std::wstring Notepad4CommandLinePath(const std::wstring& argument) {
    if (argument.size() + 2 <= kNotepad4PathBuffer) return argument;
    if (argument.size() + 1 == kNotepad4PathBuffer) return argument.substr(0, argument.size() - 1);
    return std::wstring();
}

std::wstring Notepad4RecordPath(const std::wstring& path) {
    return path.size() < kNotepad4PathBuffer ? path : path.substr(0, kNotepad4PathBuffer - 1);
}

std::wstring ExpandVariables(const std::wstring& path) {
    const DWORD needed = ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
    if (needed == 0) return path;
    std::wstring expanded(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(path.c_str(), &expanded[0], needed);
    if (written == 0 || written > needed) return path;
    expanded.resize(written - 1);
    return expanded;
}

// What Notepad4 opens for the path it read; journalled as "opened" or "not-found".
std::wstring Notepad4Opens(const std::wstring& readPath) {
    const std::wstring path = ExpandVariables(readPath);
    const bool found = path.empty() || GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    Journal(found ? "opened" : "not-found", ToUtf8(path));
    return path;
}

// The file is the last argument that is not a switch.
void ShowFileFromCommandLine() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring file;
    for (int i = 1; args && i < count; ++i) {
        if (IsIniSwitch(args[i]))
            ++i;
        else if (args[i][0] != L'-' && args[i][0] != L'/')
            file = args[i];
    }
    if (args) LocalFree(args);
    if (app.flavour == Flavour::Notepad4 && !file.empty())
        file = Notepad4Opens(Notepad4CommandLinePath(file));
    ShowFile(file, L"the command line");
}

// Notepad3/Notepad4 records hold the path at byte 48, Notepad++ in double quotes at 0, EmEditor at 0.
void ShowCopyData(const COPYDATASTRUCT* data) {
    wchar_t head[64];
    std::swprintf(head, 64, L"WM_COPYDATA %llX, %lu bytes", static_cast<unsigned long long>(data->dwData),
                  data->cbData);
    size_t offset = data->dwData == 0xFB10 ? 48 : 0;
    std::wstring path;
    if (data->lpData && data->cbData > offset + 2) {
        const wchar_t* units =
            reinterpret_cast<const wchar_t*>(static_cast<const char*>(data->lpData) + offset);
        path.assign(units, wcsnlen(units, (data->cbData - offset) / 2));
    }
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = path.substr(1, path.size() - 2);
    if (app.flavour == Flavour::Notepad4 && data->dwData == 0xFB10)
        path = Notepad4Opens(Notepad4RecordPath(path));
    ShowFile(path, head);
}

void ShowDrop() {
    ShowFile(std::wstring(), L"WM_DROPFILES, a file was dropped");
    shown.textPending = false;
    shown.file = L"(dropped: under Wine its name does not cross processes)";
    shown.text =
        L"The plug-in handed the next file over by dropping it on this window (WM_DROPFILES).\n"
        L"Under Wine the drop's file list stays in the sender's memory, so this stand-in can\n"
        L"tell that a file arrived, not which one. A real editor opens the dropped file here.";
}

LRESULT PaintShown(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (!dc) return 0;
    RECT client = {};
    GetClientRect(window, &client);
    HFONT font = CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                             FIXED_PITCH | FF_MODERN, L"Courier New");
    HGDIOBJ previous = SelectObject(dc, font ? font : GetStockObject(ANSI_FIXED_FONT));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    const int line = metrics.tmHeight + metrics.tmExternalLeading;
    RECT band = {0, 0, client.right, kShownMargin * 2 + line * 3};
    HBRUSH bandBrush = CreateSolidBrush(FlavourColour());
    FillRect(dc, &band, bandBrush);
    DeleteObject(bandBrush);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    const std::wstring header[] = {
        FlavourTitle() + L" (window class " + MainClassName() + L")",
        L"File: " + (shown.file.empty() ? std::wstring(L"(none given)") : shown.file),
        L"Last received: " + shown.received};
    for (int i = 0; i < 3; ++i) {
        RECT row = {kShownMargin, kShownMargin + i * line, client.right - kShownMargin,
                    kShownMargin + (i + 1) * line};
        DrawTextW(dc, header[i].c_str(), -1, &row, DT_NOPREFIX | DT_SINGLELINE | DT_PATH_ELLIPSIS);
    }
    RECT body = {kShownMargin, band.bottom + kShownMargin, client.right - kShownMargin, client.bottom};
    if (shown.textPending) {
        shown.text = FirstLinesOf(shown.file);
        shown.textPending = false;
    }
    DrawTextW(dc, shown.text.c_str(), -1, &body, DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, previous);
    if (font) DeleteObject(font);
    EndPaint(window, &paint);
    return 0;
}

void HangIfAsked(UINT message) {
    if (!app.mainCreated || app.options.hangMessage == 0 || message != app.options.hangMessage) return;
    if (app.options.hangSkip-- > 0) return;
    Journal("hang", std::to_string(message));
    for (;;) Sleep(1000);  // the lifetime watchdog ends the process
}

// --hang-after: the message itself is answered, the thread hangs at the next one.
void HangAfterAsked(UINT message) {
    if (app.hangAtNextMessage) {
        Journal("hang", std::to_string(message));
        for (;;) Sleep(1000);  // the lifetime watchdog ends the process
    }
    if (app.options.hangAfterSet && message == app.options.hangAfterMessage) app.hangAtNextMessage = true;
}

void OpenPrompt() {
    Journal("prompt", "");
    CreateWindowExW(0, L"StandinPrompt", L"Save changes?", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 200, 320,
                    160, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// --single-process: the first process opens a frame of its own for each command line handed to it.
bool IsHandedOverFrame(HWND window) {
    for (HWND frame : app.handedOverFrames)
        if (frame == window) return true;
    return false;
}

void OpenHandedOverFrame() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND frame = CreateWindowExW(WS_EX_ACCEPTFILES, MainClassName(), L"Stand-in editor (handed over)",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE, 120, 120, 640, 480, nullptr, nullptr,
                                 instance, nullptr);
    if (!frame) return;
    app.handedOverFrames.push_back(frame);
    RECT client = {};
    GetClientRect(frame, &client);
    CreateWindowExW(0, L"StandinEdit", L"", WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom, frame,
                    nullptr, instance, nullptr);
    Journal("window", WindowText(frame) + " " + ToUtf8(MainClassName()));
}

LRESULT OnCopyData(const COPYDATASTRUCT* data) {
    if (!data) return 0;
    char head[64];
    std::snprintf(head, sizeof head, "%llX %lu ", static_cast<unsigned long long>(data->dwData),
                  data->cbData);
    Journal("copydata", head + Hex(data->lpData, data->lpData ? data->cbData : 0));
    ShowCopyData(data);
    if (app.options.singleProcess && data->dwData == kHandOverData) {
        OpenHandedOverFrame();
        return 1;
    }
    return app.options.copyDataZero ? 0 : 1;
}

// ---- Notepad4: the 0xFB10 record read as x64 Notepad4 24.09+ reads it ----

int32_t IntAt(const uint8_t* bytes, size_t offset) {
    int32_t value = 0;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

// The NUL-terminated path at offset, cut at the end of the record.
std::wstring PathAt(const uint8_t* bytes, size_t size, size_t offset) {
    std::wstring path;
    for (size_t at = offset; at + 1 < size; at += 2) {
        const wchar_t unit = static_cast<wchar_t>(bytes[at] | (bytes[at + 1] << 8));
        if (unit == L'\0') break;
        path += unit;
    }
    return path;
}

void JournalNotepad4Record(const COPYDATASTRUCT* data) {
    constexpr size_t kPathOffset = 48;
    if (app.flavour != Flavour::Notepad4 || data->dwData != 0xFB10 || !data->lpData ||
        data->cbData < kPathOffset)
        return;
    const uint8_t* bytes = static_cast<const uint8_t*>(data->lpData);
    char fields[96];
    std::snprintf(fields, sizeof fields, "%u %d %d %d ", static_cast<unsigned>(bytes[0]), IntAt(bytes, 8),
                  IntAt(bytes, 12), IntAt(bytes, 32));
    Journal("np4params", fields + ToUtf8(PathAt(bytes, data->cbData, kPathOffset)));
}

// ---- Notepad++: one tab per file, its title, File > Close, the sender check ----

constexpr UINT kNppSwitchToFile = WM_USER + 1000 + 37;  // NPPM_SWITCHTOFILE
constexpr UINT kNppMenuCommand = WM_USER + 1000 + 48;   // NPPM_MENUCOMMAND
constexpr UINT kNppDoOpen = WM_USER + 1000 + 77;        // NPPM_DOOPEN
constexpr LPARAM kNppFileClose = 41003;                 // IDM_FILE_CLOSE
// Notepad++'s doOpen refuses a path of MAX_PATH - 1 units or more, whoever asks.
constexpr size_t kNppPathLimit = 259;
constexpr size_t kNppMessagePathUnits = 32768;
// Posted by a test, as the user's own actions: open the --user-tab file; activate tab wParam.
constexpr UINT kOpenUserTab = WM_APP + 1;
constexpr UINT kActivateTab = WM_APP + 2;
constexpr UINT kOpenNewTextTab = WM_APP + 3;
constexpr UINT kNppGetNbOpenFiles = WM_USER + 1000 + 7;  // NPPM_GETNBOPENFILES; lParam 1: main view
constexpr ULONG_PTR kNppFileNamesData = 2;               // COPYDATA_FILENAMESW

struct Tab {
    std::wstring path;
    bool modified;
};
std::vector<Tab> nppTabs;  // in tab order; while active, a tab's state is app.modified
size_t activeTab = 0;

void ShowNppTitle() {
    if (!app.mainWindow) return;
    std::wstring title = nppTabs.empty() ? L"new 1" : nppTabs[activeTab].path;
    if (app.modified || app.options.modifiedTitle) title = L"*" + title;
    SetWindowTextW(app.mainWindow, (title + L" - Notepad++").c_str());
}

void ActivateNppTab(size_t index) {
    if (index >= nppTabs.size()) return;
    if (activeTab < nppTabs.size()) nppTabs[activeTab].modified = app.modified;
    activeTab = index;
    app.modified = nppTabs[index].modified;
    ShowNppTitle();
}

size_t FindNppTab(const std::wstring& path) {
    for (size_t i = 0; i < nppTabs.size(); ++i) {
        if (lstrcmpiW(nppTabs[i].path.c_str(), path.c_str()) == 0) return i;
    }
    return nppTabs.size();
}

// A file that is open already gets its tab shown again, as Notepad++ does; a path it refuses
// opens nothing. True when the file is the active document.
void TakeFocusIntoEditWindow() {
    if (app.editWindow) SetFocus(app.editWindow);
}

bool OpenNppTab(const std::wstring& path) {
    if (path.empty() || path.size() >= kNppPathLimit) {
        Journal("tab-dropped", ToUtf8(path));
        return false;
    }
    TakeFocusIntoEditWindow();
    const size_t open = FindNppTab(path);
    if (open < nppTabs.size()) {
        Journal("tab-show", ToUtf8(path));
        ActivateNppTab(open);
        return true;
    }
    if (activeTab < nppTabs.size()) nppTabs[activeTab].modified = app.modified;
    RemoveFrom(nppHistory, path);  // an open document is not a recent one
    nppTabs.push_back({path, false});
    activeTab = nppTabs.size() - 1;
    app.modified = false;
    Journal("tab-open", ToUtf8(path));
    ShowNppTitle();
    return true;
}

void OpenQuestion(const wchar_t* title);

void OpenFirstNppTab() {
    if (app.flavour != Flavour::NotepadPlusPlus) return;
    const bool modified = app.modified;
    if (!app.options.file.empty() && !OpenNppTab(app.options.file)) OpenQuestion(L"Cannot open file");
    app.modified = modified && !nppTabs.empty();
    ShowNppTitle();
}

// The user's Ctrl+N and typing: an untitled document with text.
void OpenNewTextTab() {
    if (activeTab < nppTabs.size()) nppTabs[activeTab].modified = app.modified;
    nppTabs.push_back({L"new 1", true});
    activeTab = nppTabs.size() - 1;
    app.modified = true;
    Journal("tab-open", "new 1");
    ShowNppTitle();
}

// Per view, as the real one answers: the main view holds the tabs, the other view none.
LRESULT NppOpenFiles(LPARAM view) {
    const size_t lateQuestionTab = app.options.lateQuestionMs > 0 ? 1 : 0;
    return view == 2 ? 0 : static_cast<LRESULT>(nppTabs.size() + lateQuestionTab);
}

bool HiddenNppTabModified() {
    for (size_t i = 0; i < nppTabs.size(); ++i) {
        if (i != activeTab && nppTabs[i].modified) return true;
    }
    return false;
}

// A modified document is not closed: Notepad++ would ask; the stand-in keeps it and says so.
// The tab to the right of the closed one becomes active, else the one to its left.
LRESULT OnNppMenuCommand(LPARAM command) {
    if (command != kNppFileClose || nppTabs.empty()) return TRUE;
    const std::string path = ToUtf8(nppTabs[activeTab].path);
    if (app.modified) {
        Journal("tab-close-asked", path);
        return TRUE;
    }
    Journal("tab-close", path);
    AddOnTop(nppHistory, nppTabs[activeTab].path, nppHistoryCapacity);
    nppTabs.erase(nppTabs.begin() + static_cast<std::ptrdiff_t>(activeTab));
    if (activeTab >= nppTabs.size() && activeTab > 0) --activeTab;
    app.modified = !nppTabs.empty() && nppTabs[activeTab].modified;
    ShowNppTitle();
    return TRUE;
}

// The path of NPPM_DOOPEN and NPPM_SWITCHTOFILE is in this process's memory, where the sender
// wrote it.
std::wstring PathInOwnMemory(LPARAM lParam) {
    const auto* units = reinterpret_cast<const wchar_t*>(lParam);
    return units ? std::wstring(units, wcsnlen(units, kNppMessagePathUnits)) : std::wstring();
}

LRESULT OnNppDoOpen(LPARAM lParam) {
    const std::wstring path = PathInOwnMemory(lParam);
    Journal("doopen", ToUtf8(path));
    if (!OpenNppTab(path)) return FALSE;
    ShowFile(path, L"NPPM_DOOPEN");
    return TRUE;
}

LRESULT OnNppSwitchToFile(LPARAM lParam) {
    const std::wstring path = PathInOwnMemory(lParam);
    Journal("tab-switch", ToUtf8(path));
    const size_t tab = FindNppTab(path);
    if (tab >= nppTabs.size()) return FALSE;
    ActivateNppTab(tab);
    return TRUE;
}

LRESULT OnNppUserAction(UINT message, WPARAM wParam) {
    if (message == kOpenUserTab) {
        OpenNppTab(app.options.userTab);
    } else if (message == kOpenNewTextTab) {
        OpenNewTextTab();
    } else {
        Journal("tab-activate", std::to_string(wParam));
        ActivateNppTab(static_cast<size_t>(wParam));
    }
    return 0;
}

std::wstring ExecutableOf(DWORD pid) {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return std::wstring();
    const BOOL ok = QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    return ok ? std::wstring(path, size) : std::wstring();
}

bool SentByAnotherInstance(WPARAM wParam) {
    HWND sender = reinterpret_cast<HWND>(wParam);
    DWORD pid = 0;
    if (!sender || !IsWindow(sender) || !GetWindowThreadProcessId(sender, &pid) ||
        pid == GetCurrentProcessId())
        return false;
    const std::wstring theirs = ExecutableOf(pid);
    return !theirs.empty() && lstrcmpiW(theirs.c_str(), ExecutableOf(GetCurrentProcessId()).c_str()) == 0;
}

std::vector<std::wstring> QuotedPaths(const COPYDATASTRUCT* data) {
    std::vector<std::wstring> paths;
    const std::wstring text = PathAt(static_cast<const uint8_t*>(data->lpData), data->cbData, 0);
    size_t open = text.find(L'"');
    while (open != std::wstring::npos) {
        const size_t close = text.find(L'"', open + 1);
        if (close == std::wstring::npos) break;
        paths.push_back(text.substr(open + 1, close - open - 1));
        open = text.find(L'"', close + 1);
    }
    return paths;
}

void OpenNppFiles(WPARAM wParam, const COPYDATASTRUCT* data) {
    if (app.flavour != Flavour::NotepadPlusPlus || data->dwData != 2 || !data->lpData) return;
    if (app.options.senderCheck && !SentByAnotherInstance(wParam)) {
        Journal("copydata-ignored", "");
        return;
    }
    for (const std::wstring& path : QuotedPaths(data)) OpenNppTab(path);
}

// ---- Notepad3/Notepad4 "reuse window": the file goes to another window of the kind ----

struct OtherWindowSearch {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK FindOtherWindowOfClass(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<OtherWindowSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (pid == GetCurrentProcessId() || wcscmp(name, search->className) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

bool HandFileToOtherWindow() {
    constexpr DWORD kHandOverWaitMs = 2000;
    if (!app.options.reuseWindow || app.options.newWindow) return false;
    if (app.flavour != Flavour::Notepad3 && app.flavour != Flavour::Notepad4) return false;
    OtherWindowSearch search{MainClassName(), nullptr};
    EnumWindows(FindOtherWindowOfClass, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return false;
    std::vector<uint8_t> record(48 + 2 * app.options.file.size() + 2, 0);
    record[0] = 1;
    record[8] = app.flavour == Flavour::Notepad4 ? 2 : 0;
    std::memset(record.data() + 32, 0xFF, 4);
    std::memcpy(record.data() + 48, app.options.file.data(), 2 * app.options.file.size());
    COPYDATASTRUCT data{0xFB10, static_cast<DWORD>(record.size()), record.data()};
    SendMessageTimeoutW(search.found, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                        kHandOverWaitMs, nullptr);
    Journal("reused", WindowText(search.found));
    return true;
}

// --question-on-copydata: the box's message loop runs inside the sender's SendMessage, whose
// reply waits until the question is answered (the box closed).
void AskModalQuestion() {
    HWND box = CreateWindowExW(0, L"StandinQuestion", L"Stand-in question", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               220, 220, 320, 160, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    Journal("question", WindowText(box));
    if (!box) return;
    EnableWindow(app.mainWindow, FALSE);
    MSG msg;
    while (IsWindow(box)) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    EnableWindow(app.mainWindow, TRUE);
    Journal("question-answered", "");
}

LRESULT OnCopyDataMessage(WPARAM wParam, LPARAM lParam) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    const LRESULT reply = OnCopyData(data);
    if (!data) return reply;
    JournalNotepad4Record(data);
    OpenNppFiles(wParam, data);
    if (app.options.questionOnCopyData) AskModalQuestion();
    return reply;
}

// --busy-later: the thread works without reading its messages, then goes on as before.
bool TakeBusyMark() {
    if (!app.options.busyFirstOnly) return true;
    HANDLE mark = CreateFileW((app.options.journalPath + L".busy").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark == INVALID_HANDLE_VALUE) return false;
    CloseHandle(mark);
    return true;
}

void WorkBusily() {
    if (!TakeBusyMark()) return;
    Journal("busy", std::to_string(app.options.busyLaterMs));
    Sleep(app.options.busyLaterMs);
    Journal("idle", "");
}

LRESULT OnLateQuestionTimer(HWND window, WPARAM timer) {
    if (timer == kBusyLaterTimer) {
        KillTimer(window, timer);
        WorkBusily();
        return 0;
    }
    if (timer != kLateQuestionTimer) return 0;
    KillTimer(window, timer);
    OpenPrompt();
    return 0;
}

LRESULT OnClose(HWND window) {
    Journal("close", "");
    if (app.options.ignoreClose || app.questionOpen) return 0;
    if (app.options.closeToTray) {
        Journal("tray", "");
        ShowWindow(window, SW_HIDE);
        return 0;
    }
    if (app.options.minimiseOnClose) {
        Journal("minimised", "");
        ShowWindow(window, SW_SHOWMINNOACTIVE);
        return 0;
    }
    if (app.modified || HiddenNppTabModified()) {
        OpenPrompt();
        return 0;
    }
    if (app.options.lateQuestionMs > 0) {
        SetTimer(window, kLateQuestionTimer, app.options.lateQuestionMs, nullptr);
        return 0;
    }
    DestroyWindow(window);
    return 0;
}

void OnSize(LPARAM lParam) {
    Journal("size", std::to_string(LOWORD(lParam)) + " " + std::to_string(HIWORD(lParam)));
    if (app.editWindow) MoveWindow(app.editWindow, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
}

// What the user could see of the main window on the desktop before it was embedded.
bool desktopVisibleJournaled = false;
bool embeddedJournaled = false;

bool Opaque(HWND window) {
    if (!(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED)) return true;
    BYTE alpha = 255;
    DWORD flags = 0;
    if (!GetLayeredWindowAttributes(window, nullptr, &alpha, &flags)) return true;
    return !(flags & LWA_ALPHA) || alpha != 0;
}

void JournalDesktopVisibility(HWND window) {
    if (window != app.mainWindow || embeddedJournaled) return;
    if (GetAncestor(window, GA_PARENT) != GetDesktopWindow()) {
        embeddedJournaled = true;
        Journal("embedded", WindowText(window));
        return;
    }
    if (desktopVisibleJournaled || !IsWindowVisible(window) || !Opaque(window)) return;
    desktopVisibleJournaled = true;
    Journal("desktop-visible", WindowText(window));
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
    HangAfterAsked(message);
    if (message == WM_PAINT && !firstPaintDone && app.options.firstPaintMs != 0) {
        PaintSlowlyOnce(window);
        return 0;
    }
    if (message == WM_WINDOWPOSCHANGED || message == WM_STYLECHANGED) JournalDesktopVisibility(window);
    switch (message) {
        case WM_COPYDATA:
            return OnCopyDataMessage(wParam, lParam);
        case kNppGetNbOpenFiles:
            if (app.flavour != Flavour::NotepadPlusPlus) break;
            return NppOpenFiles(lParam);
        case kNppMenuCommand:
            if (app.flavour == Flavour::NotepadPlusPlus) return OnNppMenuCommand(lParam);
            break;
        case kNppDoOpen:
            if (app.flavour == Flavour::NotepadPlusPlus) return OnNppDoOpen(lParam);
            break;
        case kNppSwitchToFile:
            if (app.flavour == Flavour::NotepadPlusPlus) return OnNppSwitchToFile(lParam);
            break;
        case kOpenUserTab:
        case kOpenNewTextTab:
        case kActivateTab:
            if (app.flavour == Flavour::NotepadPlusPlus) return OnNppUserAction(message, wParam);
            break;
        case WM_DROPFILES:
            Journal("dropfiles", ClassOf(window));
            ShowDrop();
            return 0;
        case WM_SIZE:
            OnSize(lParam);
            return 0;
        case WM_CLOSE:
            return OnClose(window);
        case WM_TIMER:
            return OnLateQuestionTimer(window, wParam);
        case WM_DESTROY:
            if (IsHandedOverFrame(window)) return 0;
            WriteSettings(window);
            SaveOwnSettings(window);
            if (app.options.windowlessAfterDestroy) {
                Journal("destroyed", "");
                return 0;
            }
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK EditWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= kFirstScintillaMessage) HangIfAsked(message);
    HangAfterAsked(message);
    switch (message) {
        case WM_PAINT:
            if (app.options.noPaint) break;
            return PaintShown(window);
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
        case WM_CHAR:
            Journal("key", std::to_string(wParam));
            return 0;
        case WM_DROPFILES:
            Journal("dropfiles", ClassOf(window));
            ShowDrop();
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

// --question-at-start: answered (closed) by the user, it gives the main window back.
LRESULT CALLBACK QuestionWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        Journal("question-closed", "");
        app.questionOpen = false;
        if (IsWindow(app.mainWindow)) EnableWindow(app.mainWindow, TRUE);
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Owned by the main window, which it disables until it is answered (closed).
void OpenQuestion(const wchar_t* title) {
    HWND question = CreateWindowExW(WS_EX_DLGMODALFRAME, L"StandinQuestion", title,
                                    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 220, 220, 320, 140,
                                    app.mainWindow, nullptr, GetModuleHandleW(nullptr), nullptr);
    app.questionOpen = question != nullptr;
    EnableWindow(app.mainWindow, FALSE);
    Journal("question", WindowText(question));
}

void OpenQuestionAtStart() {
    if (app.options.questionAtStart) OpenQuestion(L"Not found. Create it?");
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
    Register(L"StandinQuestion", QuestionWndProc);
    Register(L"StandinDecoy", DefWindowProcW);
    Register(L"StandinQuestion", DefWindowProcW);
}

// ---- --settings: the placement and recent files a real editor saves at exit ----

std::string ReadWhole(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string text(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (text.empty() || !ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr)) read = 0;
    CloseHandle(file);
    text.resize(read);
    return text;
}

void WriteWhole(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::vector<std::string> SettingsLines() {
    std::vector<std::string> lines;
    const std::string text = ReadWhole(app.options.settingsPath);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// ---- --own-settings: placement and recent files where and how the real editor keeps them ----

struct OwnSettings {
    bool active = false;
    std::wstring path;                 // Notepad3/Notepad4: the ini; Notepad++: config.xml
    std::vector<std::wstring> recent;  // as read at start
    bool hasPlacement = false;
    RECT placement = {};
    bool maximized = false;  // Notepad4's WindowMaximized
};

OwnSettings own;

// Notepad4 keeps at least 32 recent files; the stand-in's other editors 10.
size_t IniRecentCapacity() {
    return app.flavour == Flavour::Notepad4 ? 32 : kRecentCapacity;
}

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH * 2] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring FromExeFolder(const std::wstring& path) {
    const std::wstring expanded = ExpandVariables(path);
    const bool absolute = (expanded.size() > 1 && expanded[1] == L':') ||
                          (!expanded.empty() && (expanded[0] == L'\\' || expanded[0] == L'/'));
    return absolute ? expanded : ExeFolder() + L"\\" + expanded;
}

std::wstring Notepad4Ini() {
    wchar_t exe[MAX_PATH * 2] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
    const std::wstring path(exe);
    // An installed Notepad4 keeps its settings per user.
    if (_wcsnicmp(exe, L"C:\\Program Files", 16) == 0 || path.find(L"WinGet") != std::wstring::npos ||
        path.find(L"hocolatey") != std::wstring::npos) {
        const std::wstring folder = ExpandVariables(L"%LOCALAPPDATA%\\Notepad4");
        CreateDirectoryW(folder.c_str(), nullptr);
        return folder + L"\\Notepad4.ini";
    }
    return ExeFolder() + L"\\Notepad4.ini";
}

std::wstring Notepad3Ini() {
    if (app.options.noIni) return std::wstring();
    if (!app.options.iniArgument.empty()) return FromExeFolder(app.options.iniArgument);
    wchar_t exe[MAX_PATH * 2] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
    std::wstring ini(exe);
    ini = ini.substr(0, ini.find_last_of(L'.')) + L".ini";
    if (!Exists(ini)) ini = ExeFolder() + L"\\Notepad3.ini";
    for (int redirects = 0; redirects < 2 && Exists(ini); ++redirects) {
        wchar_t target[MAX_PATH * 2] = {};
        GetPrivateProfileStringW(L"Notepad3", L"Notepad3.ini", L"", target, MAX_PATH * 2, ini.c_str());
        if (!target[0]) break;
        ini = FromExeFolder(target);
    }
    return Exists(ini) ? ini : ExeFolder() + L"\\Notepad3.ini";
}

std::wstring NppConfig() {
    std::wstring folder = app.options.settingsDir;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (app.options.settingsDirGiven &&
        (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        Journal("settings-dir-invalid", ToUtf8(folder));  // the real one says so in a box, then goes on
        folder.clear();
    }
    if (!app.options.settingsDirGiven || folder.empty()) {
        folder = ExeFolder();
        if (!Exists(folder + L"\\doLocalConf.xml")) {
            folder = ExpandVariables(L"%APPDATA%\\Notepad++");
            CreateDirectoryW(folder.c_str(), nullptr);
        }
    }
    const std::wstring config = folder + L"\\config.xml";
    if (!Exists(config))
        WriteWhole(config, "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<NotepadPlus>\n</NotepadPlus>\n");
    return config;
}

// Notepad3 and Notepad4: the placement keys are named after the screen size.
struct PlacementKeys {
    std::wstring section, x, y, width, height;
};

PlacementKeys IniPlacementKeys() {
    const std::wstring screen = std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"x" +
                                std::to_wstring(GetSystemMetrics(SM_CYSCREEN));
    if (app.flavour == Flavour::Notepad4)
        return {L"Window Position " + screen, L"WindowPosX", L"WindowPosY", L"WindowSizeX", L"WindowSizeY"};
    return {L"Window", screen + L" PosX", screen + L" PosY", screen + L" SizeX", screen + L" SizeY"};
}

// ---- Notepad4's RelativeFileMRU forms (PathRelativeToApp / PathAbsoluteFromApp) ----

constexpr wchar_t kMyDocuments[] = L"%CSIDL:MYDOCUMENTS%";

std::wstring DocumentsFolder() {
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, path)) ? path : L"";
}

// As it reads an entry back: Documents, then the environment, then its own folder.
std::wstring Notepad4Absolute(std::wstring entry) {
    if (_wcsnicmp(entry.c_str(), kMyDocuments, wcslen(kMyDocuments)) == 0) {
        std::wstring rest = entry.substr(wcslen(kMyDocuments));
        if (!rest.empty() && (rest[0] == L'\\' || rest[0] == L'/')) rest.erase(0, 1);
        wchar_t combined[MAX_PATH] = {};
        if (PathCombineW(combined, DocumentsFolder().c_str(), rest.c_str())) entry = combined;
    }
    wchar_t expanded[MAX_PATH] = {};
    const DWORD n = ExpandEnvironmentStringsW(entry.c_str(), expanded, MAX_PATH);
    if (n > 0 && n <= MAX_PATH) entry = expanded;
    if (PathIsRelativeW(entry.c_str())) entry = ExeFolder() + L"\\" + entry;
    wchar_t canonical[MAX_PATH] = {};
    return PathCanonicalizeW(canonical, entry.c_str()) ? canonical : entry;
}

// As it writes one: under Documents (when its own folder is not), relative to its own folder when
// that is not on the Windows drive, then with %USERPROFILE% and the like put back.
std::wstring Notepad4Relative(const std::wstring& path) {
    std::wstring form = path;
    if (!PathIsRelativeW(path.c_str())) {
        const std::wstring exeFolder = ExeFolder();
        const std::wstring documents = DocumentsFolder();
        wchar_t relative[MAX_PATH] = {}, combined[MAX_PATH] = {}, windows[MAX_PATH] = {};
        bool done = false;
        if (!documents.empty() && !PathIsPrefixW(documents.c_str(), exeFolder.c_str()) &&
            PathIsPrefixW(documents.c_str(), path.c_str()) &&
            PathRelativePathToW(relative, documents.c_str(), FILE_ATTRIBUTE_DIRECTORY, path.c_str(), 0) &&
            PathCombineW(combined, kMyDocuments, relative)) {
            form = combined;
            done = true;
        }
        GetWindowsDirectoryW(windows, MAX_PATH);
        if (!done && !PathCommonPrefixW(exeFolder.c_str(), windows, nullptr) &&
            PathRelativePathToW(relative, exeFolder.c_str(), FILE_ATTRIBUTE_DIRECTORY, path.c_str(), 0))
            form = relative;
    }
    wchar_t unexpanded[MAX_PATH] = {};
    return PathUnExpandEnvStringsW(form.c_str(), unexpanded, MAX_PATH) ? unexpanded : form;
}

std::vector<std::wstring> ReadIniRecent(const std::wstring& ini) {
    std::vector<std::wstring> recent;
    for (size_t i = 1; i <= IniRecentCapacity(); ++i) {
        wchar_t key[8], value[MAX_PATH * 2] = {};
        wsprintfW(key, L"%02i", static_cast<int>(i));
        GetPrivateProfileStringW(L"Recent Files", key, L"", value, MAX_PATH * 2, ini.c_str());
        if (value[0]) recent.push_back(app.flavour == Flavour::Notepad4 ? Notepad4Absolute(value) : value);
    }
    return recent;
}

void LoadIniSettings() {
    if (app.flavour == Flavour::Notepad4 && ReadWhole(own.path).size() < 2) {
        static const wchar_t kEmpty[] = L"\xFEFF[Notepad4]\r\n";
        WriteWhole(own.path, std::string(reinterpret_cast<const char*>(kEmpty), sizeof kEmpty - 2));
    }
    own.recent = ReadIniRecent(own.path);
    const PlacementKeys keys = IniPlacementKeys();
    int values[4];
    const std::wstring* names[4] = {&keys.x, &keys.y, &keys.width, &keys.height};
    own.hasPlacement = true;
    for (int i = 0; i < 4; ++i) {
        values[i] = static_cast<int>(
            GetPrivateProfileIntW(keys.section.c_str(), names[i]->c_str(), INT_MIN, own.path.c_str()));
        own.hasPlacement = own.hasPlacement && values[i] != INT_MIN;
    }
    own.placement = {values[0], values[1], values[0] + values[2], values[1] + values[3]};
    own.maximized = app.flavour == Flavour::Notepad4 &&
                    GetPrivateProfileIntW(keys.section.c_str(), L"WindowMaximized", 0, own.path.c_str()) != 0;
}

RECT NormalPlacement(HWND window) {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    return placement.rcNormalPosition;
}

// The merge save: what another instance stored meanwhile stays, below this instance's own list.
void SaveIniSettings(HWND window) {
    const PlacementKeys keys = IniPlacementKeys();
    const RECT r = NormalPlacement(window);
    const int values[4] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    const std::wstring* names[4] = {&keys.x, &keys.y, &keys.width, &keys.height};
    for (int i = 0; i < 4; ++i)
        WritePrivateProfileStringW(keys.section.c_str(), names[i]->c_str(),
                                   std::to_wstring(values[i]).c_str(), own.path.c_str());
    const bool notepad4 = app.flavour == Flavour::Notepad4;
    // Its whole position section is written again: the key goes when the window is not zoomed.
    if (notepad4)
        WritePrivateProfileStringW(keys.section.c_str(), L"WindowMaximized", IsZoomed(window) ? L"1" : nullptr,
                                   own.path.c_str());
    const size_t capacity = IniRecentCapacity();
    std::vector<std::wstring> memory = own.recent;
    for (size_t i = sessionFiles.size(); i-- > 0;) AddOnTop(memory, sessionFiles[i], capacity);
    std::vector<std::wstring> merged = ReadIniRecent(own.path);
    for (size_t i = memory.size(); i-- > 0;) AddOnTop(merged, memory[i], capacity);
    std::wstring section;
    for (size_t i = 0; i < merged.size(); ++i) {
        wchar_t key[8];
        wsprintfW(key, L"%02i", static_cast<int>(i + 1));
        section += key + (L"=" + (notepad4 ? Notepad4Relative(merged[i]) : merged[i]));
        section += L'\0';
    }
    section += L'\0';
    WritePrivateProfileSectionW(L"Recent Files", section.c_str(), own.path.c_str());
}

// ---- Notepad++'s config.xml, edited in place: only the elements whose values changed ----

std::wstring FromUtf8(const std::string& text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

const char* const kXmlEntities[][2] = {{"&", "&amp;"}, {"\"", "&quot;"}, {"<", "&lt;"}, {">", "&gt;"}};

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        const char* entity = nullptr;
        for (const auto& pair : kXmlEntities) entity = c == pair[0][0] ? pair[1] : entity;
        out += entity ? std::string(entity) : std::string(1, c);
    }
    return out;
}

std::string XmlUnescape(std::string text) {
    for (size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1)) {
        for (const auto& pair : kXmlEntities) {
            if (text.compare(at, std::strlen(pair[1]), pair[1]) == 0)
                text.replace(at, std::strlen(pair[1]), pair[0]);
        }
    }
    return text;
}

std::string Attribute(const std::string& tag, const char* name) {
    const size_t at = tag.find(std::string(" ") + name + "=\"");
    if (at == std::string::npos) return std::string();
    const size_t begin = at + std::strlen(name) + 3;
    return XmlUnescape(tag.substr(begin, tag.find('"', begin) - begin));
}

// An element from its '<' to the end of its end tag, or of its start tag when it has no content.
struct Span {
    size_t begin = std::string::npos, end = std::string::npos;
    std::string startTag;
};

Span ElementAt(const std::string& xml, size_t begin, const std::string& name) {
    Span span;
    const size_t close = begin == std::string::npos ? begin : xml.find('>', begin);
    if (close == std::string::npos) return span;
    span.begin = begin;
    span.startTag = xml.substr(begin, close + 1 - begin);
    const size_t endTag = xml.find("</" + name + ">", close);
    span.end = xml[close - 1] == '/' || endTag == std::string::npos ? close + 1 : endTag + name.size() + 3;
    return span;
}

Span HistoryElement(const std::string& xml) {
    return ElementAt(xml, xml.find("<History "), "History");
}

Span AppPositionElement(const std::string& xml) {
    const size_t name = xml.find("name=\"AppPosition\"");
    return ElementAt(xml, name == std::string::npos ? name : xml.rfind('<', name), "GUIConfig");
}

void LoadNppSettings() {
    const std::string xml = ReadWhole(own.path);
    const Span history = HistoryElement(xml);
    if (history.begin != std::string::npos) {
        const std::string capacity = Attribute(history.startTag, "nbMaxFile");
        if (!capacity.empty()) nppHistoryCapacity = std::strtoul(capacity.c_str(), nullptr, 10);
        const std::string body = xml.substr(history.begin, history.end - history.begin);
        for (size_t at = body.find("<File "); at != std::string::npos; at = body.find("<File ", at + 1)) {
            const std::string file = Attribute(body.substr(at, body.find('>', at) - at), "filename");
            if (!file.empty() && own.recent.size() < nppHistoryCapacity) own.recent.push_back(FromUtf8(file));
        }
    }
    nppHistory = own.recent;
    const Span position = AppPositionElement(xml);
    if (position.begin == std::string::npos) return;
    const auto value = [&](const char* name) {
        return std::atoi(Attribute(position.startTag, name).c_str());
    };
    own.hasPlacement = true;
    own.placement = {value("x"), value("y"), value("x") + value("width"), value("y") + value("height")};
}

// Replaces the element, or inserts it as the last child of its parent, one level deeper.
void PutElement(std::string& xml, const Span& span, const std::string& element, const std::string& parent,
                const std::string& eol) {
    if (span.begin != std::string::npos) {
        xml.replace(span.begin, span.end - span.begin, element);
        return;
    }
    const size_t end = xml.find("</" + parent + ">");
    if (end == std::string::npos && parent == "NotepadPlus") {
        xml += element + eol;
    } else if (end == std::string::npos) {
        PutElement(xml, Span(), "<GUIConfigs>" + eol + "        " + element + eol + "    </GUIConfigs>",
                   "NotepadPlus", eol);
    } else {
        const size_t line = xml.rfind('\n', end) + 1;  // 0 when there is none
        const std::string indent = xml.substr(line, end - line);
        if (indent.find_first_not_of(" \t") == std::string::npos)
            xml.insert(line, indent + "    " + element + eol);
        else
            xml.insert(end, element);
    }
}

void SaveNppSettings(HWND window) {
    for (const Tab& tab : nppTabs) AddOnTop(nppHistory, tab.path, nppHistoryCapacity);
    std::string xml = ReadWhole(own.path);
    const std::string eol = xml.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const RECT r = NormalPlacement(window);
    if (!own.hasPlacement || !EqualRect(&r, &own.placement)) {
        char position[200];
        std::snprintf(position, sizeof position,
                      "<GUIConfig name=\"AppPosition\" x=\"%ld\" y=\"%ld\" width=\"%ld\" height=\"%ld\" "
                      "isMaximized=\"no\" />",
                      r.left, r.top, r.right - r.left, r.bottom - r.top);
        PutElement(xml, AppPositionElement(xml), position, "GUIConfigs", eol);
    }
    if (nppHistory != own.recent) {
        const Span history = HistoryElement(xml);
        std::string element = history.begin == std::string::npos
                                  ? "<History nbMaxFile=\"10\" inSubMenu=\"no\" customLength=\"-1\">"
                                  : history.startTag;
        if (element.size() >= 2 && element[element.size() - 2] == '/')
            element = element.substr(0, element.find_last_not_of(" /", element.size() - 2) + 1) + ">";
        for (const std::wstring& file : nppHistory)
            element += eol + "        <File filename=\"" + XmlEscape(ToUtf8(file)) + "\" />";
        PutElement(xml, history, element + eol + "    </History>", "NotepadPlus", eol);
    }
    if (xml != ReadWhole(own.path)) WriteWhole(own.path, xml);
}

void LoadOwnSettings() {
    if (!app.options.ownSettings) return;
    if (app.flavour == Flavour::Notepad4)
        own.path = Notepad4Ini();
    else if (app.flavour == Flavour::Notepad3)
        own.path = Notepad3Ini();
    else if (app.flavour == Flavour::NotepadPlusPlus)
        own.path = NppConfig();
    if (own.path.empty()) return;
    own.active = true;
    if (app.flavour == Flavour::NotepadPlusPlus)
        LoadNppSettings();
    else
        LoadIniSettings();
    Journal("settings-loaded", ToUtf8(own.path));
}

void SaveOwnSettings(HWND window) {
    if (!own.active) return;
    if (app.flavour == Flavour::NotepadPlusPlus)
        SaveNppSettings(window);
    else
        SaveIniSettings(window);
    Journal("settings-saved", ToUtf8(own.path));
}

RECT SavedPlacement() {
    RECT place = {100, 100, 100 + app.options.width, 100 + app.options.height};
    if (app.options.positionGiven) return app.options.position;
    if (own.hasPlacement) return own.placement;
    if (app.options.settingsPath.empty()) return place;
    for (const std::string& line : SettingsLines()) {
        int x = 0, y = 0, w = 0, h = 0;
        if (std::sscanf(line.c_str(), "placement %d %d %d %d", &x, &y, &w, &h) == 4)
            place = {x, y, x + w, y + h};
    }
    return place;
}

void WriteSettings(HWND window) {
    if (app.options.settingsPath.empty()) return;
    std::vector<std::string> recent;
    for (const std::wstring& file : sessionFiles) recent.push_back(ToUtf8(file));
    for (const std::string& line : SettingsLines()) {
        if (line.compare(0, 7, "recent ") != 0) continue;
        const std::string path = line.substr(7);
        bool known = false;
        for (const std::string& have : recent) known = known || lstrcmpiA(have.c_str(), path.c_str()) == 0;
        if (!known) recent.push_back(path);
    }
    if (recent.size() > kRecentCapacity) recent.resize(kRecentCapacity);
    const RECT r = NormalPlacement(window);
    std::string text = "placement " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                       std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top) + "\n";
    for (const std::string& path : recent) text += "recent " + path + "\n";
    WriteWhole(app.options.settingsPath, text);
    Journal("settings-saved", text.substr(0, text.find('\n')));
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
    const RECT place = SavedPlacement();
    // Notepad++ creates its window at 0,0 0x0 and places itself afterwards.
    const bool placesLater = app.flavour == Flavour::NotepadPlusPlus;
    const RECT created = placesLater ? RECT{0, 0, 0, 0} : place;
    app.mainWindow = CreateWindowExW(
        WS_EX_ACCEPTFILES, MainClassName(), L"Stand-in editor", app.options.style, created.left, created.top,
        created.right - created.left, created.bottom - created.top, nullptr, nullptr, instance, nullptr);
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
    OpenFirstNppTab();
    // Notepad4 shows a window its settings (or /p) say was maximized as such, whatever it was asked.
    const bool maximized = app.options.positionGiven ? app.options.positionMaximized : own.maximized;
    ShowWindow(app.mainWindow,
               maximized ? SW_SHOWMAXIMIZED : app.options.showAtOnce ? SW_SHOW : app.showCommand);
    JournalDesktopVisibility(app.mainWindow);
    UpdateWindow(app.mainWindow);
    if (app.options.busyAfterWindowMs > 0) Sleep(app.options.busyAfterWindowMs);
    if (placesLater)
        SetWindowPos(app.mainWindow, nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
    OpenQuestionAtStart();
    if (app.options.busyLaterMs > 0)
        SetTimer(app.mainWindow, kBusyLaterTimer, app.options.busyLaterDelayMs, nullptr);
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

// --slow-exit: like an editor that writes its settings once its window is gone.
void WriteSettingsSlowly() {
    const std::wstring path =
        app.options.journalPath + L"." + std::to_wstring(GetCurrentProcessId()) + L".settings";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    auto writeLine = [file](const std::string& line) {
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        FlushFileBuffers(file);
    };
    writeLine("begin\n");
    for (DWORD spent = 0; spent < app.options.slowExitMs; spent += kSettingsLinePeriodMs) {
        Sleep(kSettingsLinePeriodMs);
        writeLine("setting " + std::to_string(spent) + "\n");
    }
    writeLine("end\n");
    CloseHandle(file);
    Journal("settings-written", "");
}

// --single-process: hands the command line to another process's window of this kind, if there is one.
bool HandOverToRunningInstance() {
    const std::wstring commandLine = GetCommandLineW();
    for (HWND other = FindWindowExW(nullptr, nullptr, MainClassName(), nullptr); other;
         other = FindWindowExW(nullptr, other, MainClassName(), nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(other, &owner);
        if (owner == GetCurrentProcessId()) continue;
        COPYDATASTRUCT data = {};
        data.dwData = kHandOverData;
        data.cbData = static_cast<DWORD>((commandLine.size() + 1) * sizeof(wchar_t));
        data.lpData = const_cast<wchar_t*>(commandLine.c_str());
        DWORD_PTR reply = 0;
        if (!SendMessageTimeoutW(other, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL,
                                 kHandOverTimeoutMs, &reply) ||
            !reply)
            continue;
        Journal("handover", WindowText(other));
        return true;
    }
    return false;
}

// As Notepad++'s winmain: every instance creates the mutex; one started without -multiInst while
// another runs hands its file to the window FindWindow finds, from a message-only window of its own.
bool HandToRunningNotepadPP() {
    constexpr int kFindRetries = 5;
    constexpr DWORD kFindRetryMs = 100;
    if (app.flavour != Flavour::NotepadPlusPlus) return false;
    CreateMutexW(nullptr, FALSE, L"nppInstance");  // held for the process's life
    if (GetLastError() != ERROR_ALREADY_EXISTS || wcsstr(GetCommandLineW(), L"-multiInst")) return false;
    HWND running = FindWindowW(L"Notepad++", nullptr);
    for (int i = 0; !running && i < kFindRetries; ++i) {
        Sleep(kFindRetryMs);
        running = FindWindowW(L"Notepad++", nullptr);
    }
    if (!running) return false;
    HWND sender = CreateWindowExW(0, L"StandinDecoy", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    const std::wstring quoted = L"\"" + app.options.file + L"\" ";
    COPYDATASTRUCT data = {kNppFileNamesData, static_cast<DWORD>((quoted.size() + 1) * sizeof(wchar_t)),
                           const_cast<wchar_t*>(quoted.c_str())};
    SendMessageTimeoutW(running, WM_COPYDATA, reinterpret_cast<WPARAM>(sender),
                        reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, kHandOverTimeoutMs, nullptr);
    Journal("handover", WindowText(running));
    if (sender) DestroyWindow(sender);
    return true;
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
    ShowFileFromCommandLine();
    if (app.options.exitAtOnce) {
        Journal("exit", std::to_string(app.options.exitCode));
        return app.options.exitCode;
    }
    if (app.options.singleProcess && HandOverToRunningInstance()) {
        Journal("exit", "0");
        return 0;
    }
    HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
    if (watchdog) CloseHandle(watchdog);
    if (app.options.busyMs > 0) Sleep(app.options.busyMs);  // --busy: not idle yet
    RegisterClasses();
    if (HandFileToOtherWindow() || HandToRunningNotepadPP()) {
        Journal("exit", "0");
        return 0;
    }
    LoadOwnSettings();
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
    if (app.options.slowExitMs > 0) WriteSettingsSlowly();
    Journal("exit", std::to_string(code));
    return code;
}
