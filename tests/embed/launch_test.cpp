// Launching, capturing and shutting down the stand-in editors (and Wine's own notepad) through
// the product code linked into this program, with a plain window of this process as the viewer.

#include "embed/launch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

#include "common/handles.h"
#include "common/text.h"
#include "common/window_data.h"
#include "config/config_lock.h"
#include "config/plugin_config.h"
#include "embed/capture_hook.h"
#include "embed/child_window.h"
#include "embed/editor_messages.h"
#include "embed/editor_shutdown.h"
#include "log/log.h"
#include "support/process_resources.h"
#include "support/standin_journal.h"
#include "support/test_support.h"

using namespace standin;
using namespace testing_support;

namespace {

constexpr DWORD kWindowWaitMs = 10000;
constexpr DWORD kCloseWaitMs = 200;
// Watcher and worker threads end this long after their editor did, or after their own bound.
constexpr DWORD kShutdownThreadsEndMs = kShutdownWatchMs + kEditorReplyTimeoutMs + 2000;
// How long a launch waits for the calls that embed the editor's window.
constexpr DWORD kEmbedCallsTimeoutMs = 5000;
constexpr UINT kRunCallbackMessage = WM_APP + 1;
// KillChild returns after its short wait for the editor's end, whatever the editor does; the rest
// is load on a shared machine.
constexpr DWORD kClearBoundMs = kCloseWaitMs + 250;
// The watch, the wait for an editor that answers again, and the load on a shared machine.
constexpr DWORD kOutcomeWaitMs = kShutdownWatchMs + 10000;

class LogFolderEnvironment : public ::testing::Environment {
   public:
    void SetUp() override { UseTempFolder(MakeTempDir(L"embed-log")); }
};
const auto* const logEnvironment = ::testing::AddGlobalTestEnvironment(new LogFolderEnvironment);

// Posting or sending kRunCallbackMessage with a std::function<void()>* runs it on the viewer's thread.
LRESULT CALLBACK TestViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunCallbackMessage) {
        (*AsPointer<std::function<void()>>(lParam))();
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateTestViewer(DWORD visibility) {
    static const ATOM registered = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = TestViewerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VelloquinTestViewer";
        return RegisterClassExW(&wc);
    }();
    (void)registered;
    return CreateWindowExW(0, L"VelloquinTestViewer", L"test viewer",
                           WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | visibility, 40, 40, 700, 520, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

// One visible viewer for the whole program: destroying a shown window costs Wine about 2 s.
HWND SharedViewer() {
    static const HWND viewer = CreateTestViewer(WS_VISIBLE);
    return viewer;
}

// Viewers of their own for editors shut down side by side: under Wine, moving one editor's window out
// of a viewer waits for the threads of the other editors inside it, which may be busy or hung.
HWND SideViewer(size_t index) {
    static std::vector<HWND> viewers;
    while (viewers.size() <= index) viewers.push_back(CreateTestViewer(0));
    return viewers[index];
}

void SetEditorParams(const std::wstring& params) {
    ConfigLockGuard lock;
    pluginConfig.editorParams = params;
}

// The launch as a load makes it: with the profile of the editor's path.
bool LaunchDetected(HWND viewer, ViewerState& state, const std::wstring& editorPath,
                    const std::wstring& filePath) {
    return LaunchAndEmbed(viewer, state, DetectEditorProfile(editorPath), editorPath, filePath);
}

const std::wstring& TestFile() {
    static const std::wstring path = [] {
        std::wstring file = MakeTempDir(L"embed-files") + L"\\doc one.txt";
        WriteFileText(file, "hello\r\n");
        return file;
    }();
    return path;
}

std::wstring Hex16(const void* pointer) {
    wchar_t text[20];
    swprintf(text, 20, L"%016llX", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(pointer)));
    return text;
}

bool HasEntryStartingWith(const std::vector<std::wstring>& entries, const std::wstring& prefix) {
    for (const std::wstring& entry : entries) {
        if (entry.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

// The pid of the first "CreateProcessW OK" entry, or 0.
DWORD StartedPidFromLog(const std::vector<std::wstring>& entries) {
    const std::wstring prefix = L"[LaunchAndEmbed] CreateProcessW OK, pid=";
    for (const std::wstring& entry : entries) {
        if (entry.compare(0, prefix.size(), prefix) == 0)
            return static_cast<DWORD>(wcstoul(entry.c_str() + prefix.size(), nullptr, 10));
    }
    return 0;
}

UniqueHandle WatchProcess(DWORD pid) {
    return UniqueHandle(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
}

bool HasEnded(const UniqueHandle& process, DWORD timeoutMs = 0) {
    return WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
}

SIZE WindowSize(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

DWORD StyleOf(HWND window) {
    return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
}

DWORD ExStyleOf(HWND window) {
    return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
}

class Launch : public ::testing::Test {
   protected:
    void SetUp() override {
        SetEditorParams(L"");
        logMark_ = ReadLogEntries(LogFilePath()).size();
    }
    void TearDown() override {
        KillChild(state);
        SetEditorParams(L"");
        TerminateChildProcesses();
        EXPECT_TRUE(WaitForShutdownThreads(kShutdownThreadsEndMs));
    }

    bool Start(const std::wstring& exe, const std::wstring& params) {
        SetEditorParams(params);
        return LaunchDetected(viewer, state, StandinPath(exe), TestFile());
    }
    std::vector<std::wstring> NewLog() const {
        std::vector<std::wstring> entries = ReadLogEntries(LogFilePath());
        return std::vector<std::wstring>(entries.begin() + static_cast<std::ptrdiff_t>(logMark_),
                                         entries.end());
    }
    void MarkLog() { logMark_ = ReadLogEntries(LogFilePath()).size(); }
    bool WaitForLog(const std::wstring& line, DWORD timeoutMs) const {
        return WaitFor([&] { return LogHas(NewLog(), line); }, timeoutMs);
    }
    // Starts an editor into another state on the same viewer: shutdowns that each take a watch of
    // their own run side by side.
    bool StartInto(ViewerState& other, const std::wstring& exe, const std::wstring& params) {
        SetEditorParams(params);
        return LaunchDetected(SideViewer(sideViewersUsed_++), other, StandinPath(exe), TestFile());
    }
    static DWORD KillChildMs(ViewerState& other) {
        const DWORD start = GetTickCount();
        KillChild(other);
        return GetTickCount() - start;
    }
    // KillChild, timed.
    DWORD KillChildMs() {
        const DWORD start = GetTickCount();
        KillChild(state);
        return GetTickCount() - start;
    }
    HWND MainWindowOf(DWORD pid) const {
        auto windows = Events(journal.Read(), "window", pid);
        return windows.empty() ? nullptr : WindowOf(windows.front());
    }
    void ExpectEmptyEditorFields() const {
        EXPECT_FALSE(state.editor.process);
        EXPECT_FALSE(state.editor.thread);
        EXPECT_EQ(state.editor.processId, 0u);
        EXPECT_TRUE(state.editor.path.empty());
        EXPECT_TRUE(state.currentFile.empty());
    }
    // The embedding sizes and shows the window without waiting for the editor: wait for it here.
    void ExpectSizedToViewer(HWND window) const {
        RECT client = {};
        GetClientRect(viewer, &client);
        EXPECT_EQ(GetAncestor(window, GA_PARENT), viewer);
        WaitFor(
            [&] {
                SIZE now = WindowSize(window);
                return now.cx == client.right && now.cy == client.bottom && IsWindowVisible(window);
            },
            kWindowWaitMs);
        SIZE size = WindowSize(window);
        EXPECT_EQ(size.cx, client.right);
        EXPECT_EQ(size.cy, client.bottom);
    }
    // Shuts a cooperative editor down: it must end by itself (its journal shows its own exit).
    void ExpectCooperativeShutdown() {
        DWORD pid = state.editor.processId;
        UniqueHandle watched = WatchProcess(pid);
        KillChild(state);
        EXPECT_TRUE(HasEnded(watched));
        EXPECT_EQ(Events(journal.Read(), "exit", pid).size(), 1u) << "terminated instead of closed";
        ExpectEmptyEditorFields();
        EXPECT_EQ(state.editor.window, nullptr);
    }

    JournalScope journal{L"launch"};
    const HWND viewer = SharedViewer();
    ViewerState state;

   private:
    size_t logMark_ = 0;
    size_t sideViewersUsed_ = 0;
};

}  // namespace

TEST_F(Launch, HookCaptureEmbedsNotepad3Notepad4AndNotepadPlusPlusAsFramelessPopupsFillingTheViewer) {
    // Notepad3 and Notepad++ are pointed at a private copy of the user's settings (a folder of its own
    // per source under the temporary folder); Notepad4 has no such switch.
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring copies = std::wstring(temp) + L"velloquin-settings\\";
    struct Case {
        const wchar_t* exe;
        std::wstring switches;
        const wchar_t* settingsEnd;
    } cases[] = {
        {L"notepad3.exe", L" /n /f \"" + copies + L"Notepad3-", L"\\Notepad3.ini\""},
        {L"notepad4.exe", L" /n", L""},
        {L"notepad++.exe", L" -multiInst -nosession -settingsDir=\"" + copies + L"Notepad++-", L"\""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Wide2Utf8(c.exe));
        MarkLog();
        ASSERT_TRUE(Start(c.exe, L"-x -y"));
        const std::wstring exe = StandinPath(c.exe);
        const std::wstring start = L"\"" + exe + L"\"" + c.switches;
        const std::wstring end = std::wstring(c.settingsEnd) + L" -x -y \"" + TestFile() + L"\"";
        const std::wstring commandLine = CommandLineOf(journal.Read(), state.editor.processId);
        EXPECT_EQ(commandLine.substr(0, start.size()), start);
        ASSERT_GE(commandLine.size(), start.size() + end.size());
        EXPECT_EQ(commandLine.substr(commandLine.size() - end.size()), end);
        // The copy's name: 8 hex digits, nothing else between.
        EXPECT_EQ(commandLine.size(), start.size() + end.size() + (*c.settingsEnd ? 8 : 0));
        EXPECT_EQ(state.editor.path, exe);
        EXPECT_EQ(state.currentFile, TestFile());
        EXPECT_TRUE(state.editor.process);
        EXPECT_TRUE(state.editor.thread);
        HWND editor = state.editor.window;
        ASSERT_EQ(editor, MainWindowOf(state.editor.processId));
        ExpectSizedToViewer(editor);
        DWORD style = StyleOf(editor);
        EXPECT_EQ(style & 0x94000000u, 0x94000000u);  // popup, visible, clip siblings
        EXPECT_EQ(style & 0x60CF0000u, 0u);           // no child, minimise, frame or caption bits
        EXPECT_EQ(ExStyleOf(editor) & 0x000C0109u, 0u);
        auto log = NewLog();
        EXPECT_TRUE(LogHas(log, L"[LaunchAndEmbed] exePath=[" + exe + L"] filePath=[" + TestFile() + L"]"));
        EXPECT_TRUE(LogHas(log, L"[LaunchAndEmbed] CreateProcessW OK, pid=" +
                                    std::to_wstring(state.editor.processId) + L" (suspended)"));
        EXPECT_TRUE(LogHas(log, L"[LaunchAndEmbed] hook installed (OUTOFCONTEXT) for pid=" +
                                    std::to_wstring(state.editor.processId) + L", resuming"));
        EXPECT_FALSE(HasEntryStartingWith(log, L"[LaunchAndEmbed] hook not installed"));
        const int at = FindLogEntry(log, L"[LaunchAndEmbed] captured hwnd=0x" + Hex16(editor));
        ASSERT_GE(at, 0);
        ASSERT_LT(static_cast<size_t>(at) + 1, log.size());
        EXPECT_TRUE(log[at + 1] == L"[LaunchAndEmbed]   captured by the window-event hook" ||
                    log[at + 1] == L"[LaunchAndEmbed]   captured by enumeration")
            << Wide2Utf8(log[at + 1]);
        // A successful SetParent reports no error, whatever the last error was before it.
        EXPECT_TRUE(HasEntryStartingWith(log, L"[ReparentChild]   SetParent returned oldParent=0x"));
        for (const std::wstring& entry : log) {
            if (entry.compare(0, 37, L"[ReparentChild]   SetParent returned") == 0) {
                EXPECT_EQ(entry.substr(entry.size() - 7), L"(err=0)") << Wide2Utf8(entry);
            }
        }
        EXPECT_TRUE(LogHas(
            log, L"[ReparentChild] ReparentChild: parent=0x" + Hex16(viewer) + L" child=0x" + Hex16(editor)));
        EXPECT_TRUE(LogHas(log, L"[LaunchAndEmbed] ReparentChild done"));
        // Only Notepad++ is sent (and posted) an extra WM_SIZE with the viewer's client size.
        RECT client = {};
        GetClientRect(viewer, &client);
        const std::string clientSize = std::to_string(client.right) + " " + std::to_string(client.bottom);
        const DWORD pid = state.editor.processId;
        auto sizeMessages = [&] {
            size_t count = 0;
            for (const JournalEntry& entry : Events(journal.Read(), "size", pid))
                count += entry.detail == clientSize;
            return count;
        };
        const size_t expectedSizes = std::wstring(c.exe) == L"notepad++.exe" ? 3 : 1;
        EXPECT_TRUE(WaitFor([&] { return sizeMessages() >= expectedSizes; }, kWindowWaitMs));
        EXPECT_EQ(sizeMessages(), expectedSizes);
        ExpectCooperativeShutdown();
    }
}

TEST_F(Launch, GenericCaptureEmbedsEverEditEmEditorAndOtherEditorsStartedHidden) {
    struct Case {
        const wchar_t* exe;
        const wchar_t* switches;
        int kind;
    } cases[] = {{L"everedit.exe", L" -i", 4}, {L"emeditor.exe", L" /sp", 5}, {L"otheredit.exe", L"", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Wide2Utf8(c.exe));
        MarkLog();
        ASSERT_TRUE(Start(c.exe, L""));
        const std::wstring exe = StandinPath(c.exe);
        EXPECT_EQ(CommandLineOf(journal.Read(), state.editor.processId),
                  L"\"" + exe + L"\"" + c.switches + L" \"" + TestFile() + L"\"");
        HWND editor = state.editor.window;
        ASSERT_EQ(editor, MainWindowOf(state.editor.processId));
        ExpectSizedToViewer(editor);
        DWORD style = StyleOf(editor);
        EXPECT_EQ(style & 0x06000000u, 0x06000000u);  // clip siblings and children
        EXPECT_EQ(style & 0xC0C40000u, 0u);           // no caption or sizing frame; neither popup nor child
        EXPECT_EQ(style & WS_SYSMENU, static_cast<DWORD>(WS_SYSMENU));  // other bits stay
        EXPECT_TRUE(IsWindowVisible(editor));
        EXPECT_EQ(ExStyleOf(editor) & 0x00040101u, 0u);
        auto log = NewLog();
        EXPECT_TRUE(LogHas(log, L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: waiting for pid=" +
                                    std::to_wstring(state.editor.processId) + L" to become idle (ver=" +
                                    std::to_wstring(c.kind) + L")"));
        EXPECT_TRUE(
            LogHas(log, L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: WaitForInputIdle returned 0"));
        EXPECT_TRUE(LogHas(log, L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: found main window 0x" +
                                    Hex16(editor) + L" (640x480)"));
        EXPECT_TRUE(LogHas(log, L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: orig style=0x04CF0000"));
        EXPECT_TRUE(
            LogHas(log, L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: success, child=0x" + Hex16(editor)));
        ExpectCooperativeShutdown();
    }
}

TEST_F(Launch, WineNotepadStartedHiddenIsCapturedOnTheGenericPath) {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring notepad = std::wstring(windows) + L"\\notepad.exe";
    // Where the Store's Notepad is installed (Windows 11), its app execution alias exists and
    // %WINDIR%\notepad.exe only starts that packaged app and ends: the window belongs to another
    // process, which no launch can capture. The alias is a reparse point that cannot be opened
    // as a file, so it is looked up in its folder's listing.
    wchar_t alias[MAX_PATH] = {};
    ExpandEnvironmentStringsW(L"%LOCALAPPDATA%\\Microsoft\\WindowsApps\\notepad.exe", alias, MAX_PATH);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(alias, &found);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    if (search != INVALID_HANDLE_VALUE || GetFileAttributesW(notepad.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "%WINDIR%\\notepad.exe is the Store Notepad's stub, or missing";
    }
    ASSERT_TRUE(LaunchDetected(viewer, state, notepad, TestFile()));
    wchar_t className[64] = {};
    GetClassNameW(state.editor.window, className, 64);
    EXPECT_STREQ(className, L"Notepad");
    ExpectSizedToViewer(state.editor.window);
    UniqueHandle watched = WatchProcess(state.editor.processId);
    KillChild(state);
    EXPECT_TRUE(HasEnded(watched, kWindowWaitMs));
}

TEST_F(Launch, CapturesPassOverSplashToolSmallAndCaptionlessWindows) {
    struct Case {
        const wchar_t* exe;
        const wchar_t* decoy;
    } cases[] = {{L"notepad3.exe", L"splash"},  {L"notepad3.exe", L"nosysmenu"}, {L"notepad4.exe", L"tool"},
                 {L"notepad++.exe", L"splash"}, {L"otheredit.exe", L"tool"},     {L"otheredit.exe", L"frame"},
                 {L"everedit.exe", L"frame"},   {L"emeditor.exe", L"frame"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Wide2Utf8(std::wstring(c.exe) + L" " + c.decoy));
        ASSERT_TRUE(Start(c.exe, std::wstring(L"--decoy=") + c.decoy + L" --late=300"));
        EXPECT_EQ(state.editor.window, MainWindowOf(state.editor.processId));
        KillChild(state);
    }
}

TEST_F(Launch, EmEditorNeverTakesAFrameThatExistedBeforeTheLaunch) {
    StartedProcess earlier = StartStandin(L"emeditor.exe", L"");
    ASSERT_TRUE(journal.WaitForEvent("window", kWindowWaitMs, earlier.pid));
    HWND earlierFrame = MainWindowOf(earlier.pid);
    ASSERT_TRUE(Start(L"emeditor.exe", L""));
    EXPECT_EQ(state.preexistingWindows, std::vector<HWND>{earlierFrame});
    EXPECT_NE(state.editor.window, earlierFrame);
    EXPECT_EQ(state.editor.window, MainWindowOf(state.editor.processId));
    EXPECT_EQ(GetAncestor(earlierFrame, GA_PARENT), GetDesktopWindow());
}

TEST_F(Launch, Notepad3AndNotepad4OpenTheirOwnWindowWhenTheUserHasReuseWindowOn) {
    for (const wchar_t* exe : {L"notepad3.exe", L"notepad4.exe"}) {
        SCOPED_TRACE(Wide2Utf8(exe));
        StartedProcess users = StartStandin(exe, L"/n C:\\user.txt");
        ASSERT_TRUE(journal.WaitForEvent("window", kWindowWaitMs, users.pid));
        ASSERT_TRUE(Start(exe, L"--reuse-window"));
        EXPECT_EQ(state.editor.window, MainWindowOf(state.editor.processId));
        EXPECT_TRUE(Events(journal.Read(), "reused", state.editor.processId).empty());
        EXPECT_TRUE(Events(journal.Read(), "copydata", users.pid).empty());
        KillChild(state);
        TerminateProcess(users.process.get(), 0);
        WaitForSingleObject(users.process.get(), kWindowWaitMs);
    }
}

TEST_F(Launch, EditorThatExitsAtOnceFailsTheLaunchAndLeavesTheStateEmpty) {
    EXPECT_FALSE(Start(L"notepad3.exe", L"--exit=3"));
    EXPECT_TRUE(LogHas(NewLog(), L"[LaunchAndEmbed] process exited with code 3 before its window was found"));
    EXPECT_FALSE(LogHas(NewLog(), L"[LaunchAndEmbed] failed to find window within 3s"));
    ExpectEmptyEditorFields();
    MarkLog();
    EXPECT_FALSE(Start(L"otheredit.exe", L"--exit=5"));
    EXPECT_TRUE(
        LogHas(NewLog(), L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: process exited with code 5"));
    ExpectEmptyEditorFields();
    EXPECT_EQ(Events(journal.Read(), "exit").size(), 2u);
}

TEST_F(Launch, MissingOrRelativeEditorPathStartsNothingAndKeepsTheState) {
    state.editor.processId = 1234;
    state.editor.path = L"C:\\previous.exe";
    state.currentFile = L"C:\\previous.txt";
    EXPECT_FALSE(LaunchDetected(viewer, state, StandinPath(L"missing.exe"), TestFile()));
    EXPECT_TRUE(LogHas(NewLog(), L"[LaunchAndEmbed] CreateProcessW FAILED, err=2 (0x00000002)"));

    // The relative name would be found in the current directory: it must not be started from there.
    wchar_t previousDirectory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previousDirectory);
    SetCurrentDirectoryW((BuildDir() + L"\\standins").c_str());
    bool started = LaunchDetected(viewer, state, L"otheredit.exe", TestFile());
    SetCurrentDirectoryW(previousDirectory);
    EXPECT_FALSE(started);
    EXPECT_TRUE(
        LogHas(NewLog(), L"[LaunchAndEmbed] editor path is not absolute, not started: [otheredit.exe]"));
    EXPECT_TRUE(journal.Read().empty());
    EXPECT_EQ(state.editor.processId, 1234u);
    EXPECT_EQ(state.editor.path, L"C:\\previous.exe");
    EXPECT_EQ(state.currentFile, L"C:\\previous.txt");
    state = ViewerState{};
}

TEST_F(Launch, EditorWithoutWindowIsShutDownWhenTheCaptureTimesOut) {
    const DWORD hookStart = GetTickCount();
    EXPECT_FALSE(Start(L"notepad4.exe", L"--no-window"));
    EXPECT_GE(GetTickCount() - hookStart, 3000u);
    EXPECT_TRUE(LogHas(NewLog(), L"[LaunchAndEmbed] failed to find window within 3s"));
    ExpectEmptyEditorFields();
    MarkLog();
    EXPECT_FALSE(Start(L"otheredit.exe", L"--no-window"));
    EXPECT_TRUE(LogHas(
        NewLog(), L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: failed to find window within 8000 ms"));
    ExpectEmptyEditorFields();
    for (const JournalEntry& start : Events(journal.Read(), "start")) EXPECT_FALSE(ProcessRunning(start.pid));
}

// Real editors: Notepad4 and Notepad++ write their settings after their window is gone (often for
// longer than 200 ms); Notepad++ asks about a modified background tab some time after WM_CLOSE.
TEST_F(Launch, EditorThatMayStillBeSavingOrAskingIsNeverTerminated) {
    ASSERT_TRUE(Start(L"otheredit.exe", L"--slow-exit=1500"));
    DWORD pid = state.editor.processId;
    EXPECT_LT(KillChildMs(), kCloseWaitMs + 1000u);
    EXPECT_TRUE(WaitForShutdownThreads(kShutdownThreadsEndMs));
    EXPECT_FALSE(ProcessRunning(pid));
    auto exits = Events(journal.Read(), "exit", pid);
    ASSERT_EQ(exits.size(), 1u) << "terminated while writing its settings";
    EXPECT_EQ(exits[0].detail, "0");
    std::vector<uint8_t> settings =
        ReadFileBytes(journal.path() + L"." + std::to_wstring(pid) + L".settings");
    std::string text(settings.begin(), settings.end());
    EXPECT_EQ(text.substr(0, 6), "begin\n");
    EXPECT_GE(text.size(), 4u);
    EXPECT_EQ(text.substr(text.size() < 4 ? 0 : text.size() - 4), "end\n");
    auto log = NewLog();
    EXPECT_EQ(
        CountLogEntriesStartingWith(log, L"[KillChild]   pid=" + std::to_wstring(pid) + L" still running"),
        1);
    EXPECT_EQ(
        CountLogEntriesStartingWith(log, L"[KillChild]   pid=" + std::to_wstring(pid) + L" ended by itself"),
        1);

    MarkLog();
    ASSERT_TRUE(Start(L"notepad++.exe", L"--late-question=1000"));
    pid = state.editor.processId;
    HWND editor = state.editor.window;
    EXPECT_LT(KillChildMs(), kCloseWaitMs + 1000u);
    EXPECT_TRUE(journal.WaitForEvent("prompt", kWindowWaitMs, pid));
    EXPECT_TRUE(WaitForShutdownThreads(kShutdownThreadsEndMs));
    EXPECT_TRUE(ProcessRunning(pid));
    EXPECT_EQ(GetAncestor(editor, GA_PARENT), GetDesktopWindow());
    EXPECT_TRUE(WaitFor([editor] { return IsWindowVisible(editor) != FALSE; }, kWindowWaitMs));
    EXPECT_TRUE(
        LogHas(NewLog(), L"[KillChild]   pid=" + std::to_wstring(pid) +
                             L" shows a window after WM_CLOSE, editor released instead of terminated"));
}

// Busy is not hung: an editor busy with a long job, one showing a question since its start and one
// that hangs on WM_CLOSE may each hold unsaved work. KillChild never waits for them, and none of
// them is ever terminated; the busy one asks about its document once it is done.
TEST_F(Launch, BusyAskingOrHungEditorIsNeverTerminatedAndKillChildNeverWaitsForIt) {
    // One after the other: under Wine, moving one editor's window out of its viewer can wait for
    // another editor's thread (activation passes through it), which would mix up what each shows.
    ViewerState asking, busy, hung;
    ASSERT_TRUE(StartInto(asking, L"notepad4.exe", L"--question-at-start"));
    const DWORD askingPid = asking.editor.processId;
    const HWND askingWindow = asking.editor.window;
    ASSERT_TRUE(journal.WaitForEvent("question", kWindowWaitMs, askingPid));
    EXPECT_LT(KillChildMs(asking), kClearBoundMs);
    // The question open since its start is the user's to answer: given back with its editor.
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(askingWindow) != FALSE; }, kOutcomeWaitMs));
    EXPECT_EQ(GetAncestor(askingWindow, GA_PARENT), GetDesktopWindow());

    ASSERT_TRUE(StartInto(busy, L"notepad4.exe", L"--unsaved --busy-later=100:4000"));
    const DWORD busyPid = busy.editor.processId;
    const HWND busyWindow = busy.editor.window;
    ASSERT_TRUE(journal.WaitForEvent("busy", kWindowWaitMs, busyPid));
    EXPECT_LT(KillChildMs(busy), kClearBoundMs);
    // It answers after 4 s: out of the viewer, asked to close, it asks the user.
    EXPECT_TRUE(journal.WaitForEvent("prompt", kOutcomeWaitMs, busyPid));
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(busyWindow) != FALSE; }, kOutcomeWaitMs));
    EXPECT_EQ(GetAncestor(busyWindow, GA_PARENT), GetDesktopWindow());

    ASSERT_TRUE(StartInto(hung, L"notepad4.exe", L"--decoy=tool --hang=16 --lifetime=60000"));
    const DWORD hungPid = hung.editor.processId;
    EXPECT_LT(KillChildMs(hung), kClearBoundMs);
    EXPECT_TRUE(
        WaitForLog(L"[KillChild]   pid=" + std::to_wstring(hungPid) +
                       L" does not answer after WM_CLOSE: waited for, never terminated while it may hold "
                       L"unsaved work",
                   kOutcomeWaitMs));
    auto log = NewLog();
    for (DWORD pid : {busyPid, askingPid, hungPid}) {
        EXPECT_TRUE(ProcessRunning(pid)) << pid;
        EXPECT_EQ(CountLogEntriesStartingWith(
                      log, L"[KillChild]   pid=" + std::to_wstring(pid) + L" does not answer messages"),
                  0);
        for (const std::wstring& entry : log)
            EXPECT_FALSE(entry.find(L"pid=" + std::to_wstring(pid) + L" ") != std::wstring::npos &&
                         entry.size() >= 12 && entry.compare(entry.size() - 12, 12, L": terminated") == 0)
                << Wide2Utf8(entry);
    }
    EXPECT_TRUE(
        LogHas(log, L"[KillChild]   pid=" + std::to_wstring(busyPid) +
                        L" is busy: it leaves the viewer and is asked to close once it answers, never "
                        L"terminated meanwhile"));
    EXPECT_TRUE(LogHas(log, L"[KillChild]   pid=" + std::to_wstring(askingPid) +
                                L" shows a window after WM_CLOSE, editor released instead of terminated"));
}

// An editor that stays after WM_CLOSE without asking: given back without taking the foreground when
// it may hold unsaved work, ended when it provably holds none, left alone when it went to the tray.
// One that hangs right after answering, its window still inside the viewer, is followed until it
// answers or ends: never forgotten while its window is inside.
TEST_F(Launch, EditorStayingAfterWmCloseIsGivenBackQuietlyOrEndedWhenItHoldsNothing) {
    // A Notepad4 whose settings send it to the tray on WM_CLOSE, as the user set it.
    const std::wstring trayNotepad4 = StandinCopy(L"notepad4.exe");
    ASSERT_TRUE(
        WriteFileText(FolderOf(trayNotepad4) + L"\\Notepad4.ini", "[Settings]\r\nMinimizeToTray=1\r\n"));
    struct Case {
        const wchar_t* exe;
        const wchar_t* params;
        DWORD pid;
        HWND window;
    } cases[] = {{L"otheredit.exe", L"--ignore-close", 0, nullptr},
                 {L"otheredit.exe", L"--ignore-close", 0, nullptr},
                 {L"otheredit.exe", L"--ignore-close", 0, nullptr},
                 {L"notepad4.exe", L"--ignore-close", 0, nullptr},
                 {L"notepad++.exe", L"--ignore-close --modified-title", 0, nullptr},
                 {L"otheredit.exe", L"--minimise-on-close --unsaved", 0, nullptr},
                 {L"notepad4.exe", L"--ignore-close --hang-after=0 --lifetime=12000", 0, nullptr},
                 {trayNotepad4.c_str(), L"--close-to-tray --unsaved", 0, nullptr}};
    ViewerState states[std::size(cases)];
    for (size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_TRUE(StartInto(states[i], cases[i].exe, cases[i].params)) << Wide2Utf8(cases[i].params);
        cases[i].pid = states[i].editor.processId;
        cases[i].window = states[i].editor.window;
    }
    SetForegroundWindow(viewer);
    const HWND foreground = GetForegroundWindow();
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_LT(KillChildMs(states[i]), kClearBoundMs) << Wide2Utf8(cases[i].params);
    for (Case& c : cases) {
        EXPECT_TRUE(WaitForLog(L"[KillChild]   pid=" + std::to_wstring(c.pid) + L" no longer watched",
                               kOutcomeWaitMs))
            << c.pid;
    }
    auto log = NewLog();
    auto line = [](const Case& c, const wchar_t* text) {
        return L"[KillChild]   pid=" + std::to_wstring(c.pid) + text;
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(ProcessRunning(cases[i].pid));
        EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(cases[i].window) != FALSE; }, kWindowWaitMs));
        EXPECT_EQ(GetAncestor(cases[i].window, GA_PARENT), GetDesktopWindow());
        EXPECT_NE(GetForegroundWindow(), cases[i].window);
        EXPECT_TRUE(LogHas(log, line(cases[i],
                                     L" neither ended nor asked within 5000 ms after WM_CLOSE and may hold "
                                     L"unsaved work: given back to the desktop without activation")));
    }
    EXPECT_TRUE(LogHas(log, line(cases[3], L" ignored WM_CLOSE and holds no unsaved work: terminated")));
    EXPECT_FALSE(ProcessRunning(cases[3].pid));
    // The '*' in front of Notepad++'s title says a document is modified, whatever its view answers.
    EXPECT_TRUE(ProcessRunning(cases[4].pid));
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(cases[4].window) != FALSE; }, kWindowWaitMs));
    EXPECT_TRUE(ProcessRunning(cases[5].pid));
    EXPECT_TRUE(LogHas(log, line(cases[5], L" minimised itself after WM_CLOSE: left as it is")));
    EXPECT_TRUE(IsIconic(cases[5].window));
    EXPECT_TRUE(ProcessRunning(cases[7].pid));
    EXPECT_TRUE(
        LogHas(log, line(cases[7], L" went to the tray after WM_CLOSE, as its settings ask: left there")));
    EXPECT_FALSE(IsWindowVisible(cases[7].window));
    // Given back without a question, none took the foreground (the user's typing would go to it).
    EXPECT_EQ(GetForegroundWindow(), foreground);
    EXPECT_TRUE(journal.WaitForEvent("hang", kWindowWaitMs, cases[6].pid));
    EXPECT_TRUE(LogHas(log, line(cases[6],
                                 L" stopped answering while it was asked to close: not waited for "
                                 L"beyond 1000 ms, not terminated")));
    EXPECT_EQ(CountLogEntriesStartingWith(log, line(cases[6], L" ended by itself")), 1);
}

// An editor saves its window's placement at exit: the user's own, not the pane's.
TEST_F(Launch, PreviewLeavesTheEditorsSavedPlacementAsTheUserHadIt) {
    const std::wstring settings = MakeTempDir(L"placement") + L"\\notepad4.ini";
    const std::string users = "placement 120 60 600 400";
    for (const wchar_t* exe : {L"notepad4.exe", L"otheredit.exe"}) {
        SCOPED_TRACE(Wide2Utf8(exe));
        ASSERT_TRUE(WriteFileText(settings, users + "\nrecent C:\\users-own.txt\n"));
        ASSERT_TRUE(Start(exe, L"--settings=" + settings));
        const DWORD pid = state.editor.processId;
        ExpectSizedToViewer(state.editor.window);
        KillChild(state);
        ASSERT_TRUE(WaitFor([pid] { return !ProcessRunning(pid); }, kWindowWaitMs));
        const std::vector<uint8_t> bytes = ReadFileBytes(settings);
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_EQ(text.substr(0, text.find('\n')), users);
    }
}

// A single-process EmEditor: the started process hands the file to the user's EmEditor and exits;
// the frame shown in the viewer is the user's. One that does not answer holds the viewer's thread a
// moment only.
TEST_F(Launch, WindowOfASingleProcessEmEditorIsGivenBackNeverHiddenOrClosed) {
    constexpr UINT kHangMessage = WM_APP + 9;  // the user's EmEditor is started with --hang=32777
    for (const bool hung : {false, true}) {
        SCOPED_TRACE(hung ? "hung" : "answering");
        MarkLog();
        StartedProcess users = StartStandin(L"emeditor.exe", L"--single-process --hang=32777", SW_SHOWNORMAL);
        ASSERT_TRUE(journal.WaitForEvent("window", kWindowWaitMs, users.pid));
        ASSERT_TRUE(Start(L"emeditor.exe", L"--single-process"));
        const DWORD started = state.editor.processId;
        HWND frame = state.editor.window;
        ASSERT_EQ(Events(journal.Read(), "window", users.pid).size(), 2u);
        EXPECT_EQ(frame, WindowOf(Events(journal.Read(), "window", users.pid).back()));
        EXPECT_FALSE(Events(journal.Read(), "handover", started).empty());
        ExpectSizedToViewer(frame);
        if (hung) {
            PostMessageW(frame, kHangMessage, 0, 0);
            ASSERT_TRUE(journal.WaitForEvent("hang", kWindowWaitMs, users.pid));
        }
        const DWORD killMs = KillChildMs();
        ExpectEmptyEditorFields();
        EXPECT_EQ(state.editor.window, nullptr);
        EXPECT_TRUE(ProcessRunning(users.pid));
        EXPECT_TRUE(Events(journal.Read(), "close", users.pid).empty());
        const std::wstring window = L"hwnd=0x" + Hex16(frame);
        EXPECT_TRUE(LogHas(NewLog(), L"[ReturnForeignWindow] " + window + L" of pid=" +
                                         std::to_wstring(users.pid) +
                                         L", a process not started here: given back to the desktop"));
        if (hung) {
            EXPECT_LT(killMs, 250u);
            EXPECT_TRUE(WaitForLog(L"[ReturnForeignWindow]   " + window + L" not back within 1000 ms",
                                   kWindowWaitMs));
        } else {
            EXPECT_TRUE(IsWindow(frame));
            EXPECT_EQ(GetAncestor(frame, GA_PARENT), GetDesktopWindow());
            EXPECT_TRUE(IsWindowVisible(frame));
            EXPECT_EQ(StyleOf(frame) & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
        }
        TerminateProcess(users.process.get(), 0);
        EXPECT_TRUE(HasEnded(users.process, kWindowWaitMs));
    }
}

TEST_F(Launch, EditorReportingUnsavedChangesIsReleasedToTheDesktopNotTerminated) {
    for (const wchar_t* exe : {L"notepad3.exe", L"otheredit.exe"}) {
        // Each asks about its document on WM_CLOSE: the question and its editor go to the user.
        SCOPED_TRACE(Wide2Utf8(exe));
        MarkLog();
        ASSERT_TRUE(Start(exe, L"--unsaved"));
        DWORD pid = state.editor.processId;
        HWND editor = state.editor.window;
        KillChild(state);
        ExpectEmptyEditorFields();
        EXPECT_EQ(state.editor.window, nullptr);
        EXPECT_TRUE(WaitForShutdownThreads(kShutdownThreadsEndMs));
        EXPECT_TRUE(ProcessRunning(pid));
        EXPECT_EQ(GetAncestor(editor, GA_PARENT), GetDesktopWindow());
        EXPECT_TRUE(WaitFor([editor] { return IsWindowVisible(editor) != FALSE; }, kWindowWaitMs));
        EXPECT_EQ(StyleOf(editor) & (WS_CAPTION | WS_THICKFRAME | WS_POPUP | WS_CHILD),
                  static_cast<DWORD>(WS_CAPTION | WS_THICKFRAME));
        ASSERT_TRUE(journal.WaitForEvent("prompt", kWindowWaitMs, pid));
        EXPECT_TRUE(
            LogHas(NewLog(), L"[KillChild]   pid=" + std::to_wstring(pid) +
                                 L" shows a window after WM_CLOSE, editor released instead of terminated"));
        EXPECT_EQ(Events(journal.Read(), "close", pid).size(), 1u);
    }
}

TEST_F(Launch, HungEditorCostsOnlyTheReplyBoundForTheSizeMessageAndIsNeverTerminatedWithItsWork) {
    // The first WM_SIZE comes from the sizing, the second is the one sent to Notepad++: it hangs. The
    // viewer's thread takes its posted messages meanwhile.
    DWORD postedAt = 0;
    DWORD ranAt = 0;
    std::function<void()> noteRun = [&ranAt] { ranAt = GetTickCount(); };
    std::thread poster([&] {
        if (!journal.WaitForEvent("hang", kWindowWaitMs)) return;
        postedAt = GetTickCount();
        PostMessageW(viewer, kRunCallbackMessage, 0, reinterpret_cast<LPARAM>(&noteRun));
    });
    const DWORD launchStart = GetTickCount();
    const bool started = Start(L"notepad++.exe", L"--unsaved --hang=5 --hang-skip=1 --lifetime=30000");
    poster.join();
    ASSERT_TRUE(started);
    EXPECT_LT(GetTickCount() - launchStart, kEditorReplyTimeoutMs + 1500u);
    EXPECT_NE(ranAt, 0u);
    EXPECT_LT(ranAt - postedAt, 250u);
    EXPECT_TRUE(LogHas(NewLog(), L"[ReparentChild]   WM_SIZE not answered in time"));
    const DWORD pid = state.editor.processId;
    EXPECT_LT(KillChildMs(), kClearBoundMs);
    ExpectEmptyEditorFields();
    // It does not answer, and it may hold unsaved work: it is waited for, never terminated.
    EXPECT_TRUE(WaitForLog(L"[KillChild]   pid=" + std::to_wstring(pid) +
                               L" is busy: it leaves the viewer and is asked to close once it answers, never "
                               L"terminated meanwhile",
                           kWindowWaitMs));
    EXPECT_TRUE(ProcessRunning(pid));
    EXPECT_EQ(
        CountLogEntriesStartingWith(NewLog(), L"[KillChild]   pid=" + std::to_wstring(pid) + L" does not"),
        0);
}

TEST_F(Launch, KillChildOnAnEmptyStateOnlyLogsAndLeavesAStaleWindowHandleInPlace) {
    KillChild(state);
    EXPECT_EQ(NewLog(),
              (std::vector<std::wstring>{L"[KillChild] KillChild enter", L"[KillChild] KillChild leave"}));

    StartedProcess editor = StartStandin(L"otheredit.exe", L"");
    ASSERT_TRUE(journal.WaitForEvent("window", kWindowWaitMs, editor.pid));
    HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    state.editor.process = std::move(editor.process);
    state.editor.processId = editor.pid;
    state.editor.window = gone;
    state.editor.path = StandinPath(L"otheredit.exe");
    state.currentFile = TestFile();
    UniqueHandle watched = WatchProcess(editor.pid);
    KillChild(state);
    EXPECT_EQ(state.editor.window, gone);
    EXPECT_TRUE(HasEnded(watched));
    EXPECT_TRUE(Events(journal.Read(), "close").empty());
    ExpectEmptyEditorFields();
    state.editor.window = nullptr;
}

TEST_F(Launch, WinEventCallbackTakesOnlyTopLevelMainWindowsOfTheCapturedProcess) {
    StartedProcess editor = StartStandin(L"notepad3.exe", L"--decoy=tool");
    ASSERT_TRUE(journal.WaitForEvent("window", kWindowWaitMs, editor.pid));
    auto entries = journal.Read();
    HWND main = WindowOf(Events(entries, "window", editor.pid).front());
    HWND tool = WindowOf(Events(entries, "decoy", editor.pid).front());
    HWND scintilla = FindWindowExW(main, nullptr, L"Scintilla", nullptr);
    ShowWindow(main, SW_SHOW);
    SetCaptureTarget(editor.pid);
    auto report = [](DWORD event, HWND window, LONG objectId = OBJID_WINDOW) {
        OnCaptureWinEvent(nullptr, event, window, objectId, CHILDID_SELF, 0, 0);
    };
    report(EVENT_OBJECT_CREATE, scintilla);
    report(EVENT_OBJECT_SHOW, tool);
    report(EVENT_OBJECT_SHOW, viewer);
    report(EVENT_OBJECT_DESTROY, main);
    report(EVENT_OBJECT_SHOW, main, OBJID_CLIENT);
    EXPECT_EQ(CapturedWindow(), nullptr);
    EXPECT_EQ(ExStyleOf(scintilla) & WS_EX_LAYERED, 0u);
    EXPECT_TRUE(IsWindowVisible(tool));
    EXPECT_TRUE(IsWindowVisible(viewer));
    EXPECT_TRUE(IsWindowVisible(main));

    // The callback runs on this thread and never waits for the editor's: it only asks for the hide.
    report(EVENT_OBJECT_CREATE, main);
    EXPECT_EQ(CapturedWindow(), main);
    EXPECT_TRUE(IsWindowVisible(main));
    report(EVENT_OBJECT_SHOW, main);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, kWindowWaitMs));
    SetCaptureTarget(0);
    report(EVENT_OBJECT_SHOW, tool);
    EXPECT_TRUE(IsWindowVisible(tool));
    EXPECT_EQ(CapturedWindow(), nullptr);
}

TEST_F(Launch, QuitDuringTheHookWaitIsPostedAgainAndFailsTheLaunch) {
    PostQuitMessage(7);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(Start(L"notepad3.exe", L"--late=2000"));
    EXPECT_LT(GetTickCount() - start, 1500u);
    MSG msg = {};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
    ExpectEmptyEditorFields();
    // The editor may be ended before it journals its start: its pid comes from the log.
    EXPECT_LE(Events(journal.Read(), "start").size(), 1u);
    const DWORD pid = StartedPidFromLog(NewLog());
    ASSERT_NE(pid, 0u);
    EXPECT_FALSE(ProcessRunning(pid));
    EXPECT_TRUE(HasEntryStartingWith(NewLog(), L"[LaunchAndEmbed] WM_QUIT arrived while waiting for pid="));
}

TEST_F(Launch, ViewerDestroyedDuringTheWaitStopsItPromptlyAndShutsTheEditorDown) {
    // Hook-based wait: the request arrives as a posted message, which that wait dispatches.
    std::function<void()> destroy = [this] { state.closing = true; };
    PostMessageW(viewer, kRunCallbackMessage, 0, reinterpret_cast<LPARAM>(&destroy));
    DWORD start = GetTickCount();
    EXPECT_FALSE(Start(L"notepad3.exe", L"--no-window"));
    EXPECT_LT(GetTickCount() - start, 1500u);
    ExpectEmptyEditorFields();

    // Generic wait: here the request is sent from another thread.
    state.closing = false;
    HWND target = viewer;
    const size_t startsBefore = Events(journal.Read(), "start").size();
    std::thread sender([this, target, &destroy, startsBefore] {
        // Sent once the editor runs, whatever time its start takes.
        WaitFor([&] { return Events(journal.Read(), "start").size() > startsBefore; }, kWindowWaitMs);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(target, kRunCallbackMessage, 0, reinterpret_cast<LPARAM>(&destroy), SMTO_NORMAL,
                            5000, &ignored);
    });
    start = GetTickCount();
    EXPECT_FALSE(Start(L"otheredit.exe", L"--no-window"));
    EXPECT_LT(GetTickCount() - start, 2000u);
    sender.join();
    ExpectEmptyEditorFields();
    for (const JournalEntry& started : Events(journal.Read(), "start"))
        EXPECT_FALSE(ProcessRunning(started.pid));
    EXPECT_TRUE(HasEntryStartingWith(NewLog(), L"[LaunchAndEmbed] launch of pid="));
    state.closing = false;
}

TEST_F(Launch, SecondHookCaptureIsRefusedWhileOneIsInProgress) {
    HWND otherViewer = CreateTestViewer(0);
    ViewerState otherState;
    bool nestedResult = true;
    std::function<void()> nested = [&] {
        nestedResult = LaunchDetected(otherViewer, otherState, StandinPath(L"notepad4.exe"), TestFile());
    };
    PostMessageW(viewer, kRunCallbackMessage, 0, reinterpret_cast<LPARAM>(&nested));
    ASSERT_TRUE(Start(L"notepad3.exe", L"--late=300"));
    EXPECT_FALSE(nestedResult);
    EXPECT_TRUE(LogHas(NewLog(), L"[LaunchAndEmbed] another window capture is in progress, launch refused"));
    EXPECT_EQ(Events(journal.Read(), "start").size(), 1u);
    EXPECT_EQ(otherState.editor.processId, 0u);
    DestroyWindow(otherViewer);
}

TEST_F(Launch, EditorWhoseParentCannotBeSetIsShutDownAndTheLaunchFails) {
    HWND goneViewer = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(goneViewer);
    EXPECT_FALSE(LaunchDetected(goneViewer, state, StandinPath(L"otheredit.exe"), TestFile()));
    auto log = NewLog();
    EXPECT_TRUE(LogHas(
        log, L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: WARNING parent mismatch, retry in 200ms"));
    EXPECT_TRUE(HasEntryStartingWith(log, L"[LaunchAndEmbedGeneric] LaunchAndEmbedGeneric: parent of 0x"));
    ExpectEmptyEditorFields();
    MarkLog();
    EXPECT_FALSE(LaunchDetected(goneViewer, state, StandinPath(L"notepad3.exe"), TestFile()));
    EXPECT_TRUE(HasEntryStartingWith(NewLog(), L"[LaunchAndEmbed] parent of hwnd=0x"));
    ExpectEmptyEditorFields();
    // An editor that still answers after WM_CLOSE is left its shutdown watch to end.
    for (const JournalEntry& started : Events(journal.Read(), "start"))
        EXPECT_TRUE(WaitFor([&] { return !ProcessRunning(started.pid); }, kShutdownThreadsEndMs))
            << started.pid;
}

TEST_F(Launch, EditorThatStopsAnsweringWhileItsWindowIsEmbeddedFailsTheLaunchWithinItsBounds) {
    // WM_STYLECHANGING (124) arrives with the style change, after the editor answered everything
    // before it. Its lifetime ends a launch that waited for good, so that the test fails instead.
    for (const wchar_t* exe : {L"notepad4.exe", L"otheredit.exe"}) {
        SCOPED_TRACE(Wide2Utf8(exe));
        MarkLog();
        const DWORD start = GetTickCount();
        EXPECT_FALSE(Start(exe, L"--hang=124 --lifetime=30000"));
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_LT(elapsed, 3000u + kEmbedCallsTimeoutMs + 1500u);
        EXPECT_GE(elapsed, kEmbedCallsTimeoutMs);
        ExpectEmptyEditorFields();
        EXPECT_EQ(state.editor.window, nullptr);
        auto entries = journal.Read();
        auto hangs = Events(entries, "hang");
        ASSERT_FALSE(hangs.empty());
        EXPECT_EQ(hangs.back().detail, "124");
        EXPECT_TRUE(HasEntryStartingWith(NewLog(), L"[LaunchAndEmbed] pid=" +
                                                       std::to_wstring(hangs.back().pid) +
                                                       L" did not answer while its window was embedded"));
        EXPECT_TRUE(WaitFor([&] { return !ProcessRunning(hangs.back().pid); }, kWindowWaitMs));
    }
}

TEST_F(Launch, EmbeddingDoesNotWaitForTheEditorsFirstPaint) {
    for (const wchar_t* exe : {L"notepad4.exe", L"otheredit.exe"}) {
        SCOPED_TRACE(Wide2Utf8(exe));
        ASSERT_TRUE(Start(exe, L"--first-paint=1500"));
        const DWORD pid = state.editor.processId;
        EXPECT_TRUE(Events(journal.Read(), "painted", pid).empty()) << "the launch waited for the paint";
        ASSERT_TRUE(journal.WaitForEvent("painted", kWindowWaitMs, pid));
        KillChild(state);
    }
}

TEST_F(Launch, TwoThreadsLaunchingHookCaptureEditorsAtOnceBothGetTheirEditor) {
    UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    struct Outcome {
        bool launched = false;
        HWND editor = nullptr;
        DWORD pid = 0;
    } outcomes[2];
    auto launch = [&](Outcome& outcome, const wchar_t* exe) {
        HWND ownViewer = CreateTestViewer(0);
        ViewerState ownState;
        WaitForSingleObject(go.get(), kWindowWaitMs);
        outcome.launched = LaunchDetected(ownViewer, ownState, StandinPath(exe), TestFile());
        outcome.editor = ownState.editor.window;
        outcome.pid = ownState.editor.processId;
        if (outcome.launched) {
            EXPECT_EQ(GetAncestor(ownState.editor.window, GA_PARENT), ownViewer);
        }
        KillChild(ownState);
        DestroyWindow(ownViewer);
    };
    SetEditorParams(L"--late=300");
    TestFile();  // made once, before the threads
    std::thread first([&] { launch(outcomes[0], L"notepad3.exe"); });
    std::thread second([&] { launch(outcomes[1], L"notepad++.exe"); });
    SetEvent(go.get());
    first.join();
    second.join();
    EXPECT_TRUE(outcomes[0].launched);
    EXPECT_TRUE(outcomes[1].launched);
    EXPECT_NE(outcomes[0].pid, outcomes[1].pid);
    EXPECT_FALSE(LogHas(NewLog(), L"[LaunchAndEmbed] another window capture is in progress, launch refused"));
    EXPECT_EQ(Events(journal.Read(), "start").size(), 2u);
}

TEST_F(Launch, GenericLaunchesLeaveNoHandlesBehindBeyondOnePerLaunch) {
    // An editor busy for a while before it is idle: a launch that asked WaitForInputIdle again
    // and again lost a handle (under Wine) each time.
    constexpr int kLaunches = 5;
    ASSERT_TRUE(Start(L"otheredit.exe", L"--busy=400"));
    KillChild(state);
    // A closed editor is followed to its end by a watcher that holds its own handles meanwhile.
    ASSERT_TRUE(WaitForShutdownThreads(kShutdownThreadsEndMs));
    const size_t before = CountOwnHandles();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < kLaunches; ++i) {
        ASSERT_TRUE(Start(L"otheredit.exe", L"--busy=400"));
        KillChild(state);
    }
    ASSERT_TRUE(WaitForShutdownThreads(kShutdownThreadsEndMs));
    const size_t after = CountOwnHandles();
    EXPECT_LE(after, before + kLaunches + 2) << "before " << before << ", after " << after;
}
