// The viewer window as the host drives it: DVP_CreateViewer and the host's messages, through the
// real DLL, checked on the window and on the log the plug-in writes.

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>

#include "host/test_host.h"
#include "support/test_support.h"
#include "viewer_test_windows.h"

using namespace testing_support;

namespace {

using CreateViewerFn = HWND(WINAPI*)(HWND, LPRECT, DWORD);

std::wstring Pointer(const void* value) {
    wchar_t text[32];
    swprintf(text, 32, L"0x%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(value)));
    return text;
}

// Each test: its own log folder and a freshly loaded plug-in.
class ViewerWindow : public ::testing::Test {
   protected:
    void SetUp() override {
        folder_ = testwin::FreshLogFolder();
        plugin_ = std::make_unique<LoadedPlugin>();
        ASSERT_NE(plugin_->module(), nullptr);
        createViewer_ = plugin_->Get<CreateViewerFn>("DVP_CreateViewer");
        ASSERT_NE(createViewer_, nullptr);
        host_ = testwin::SharedHost(640, 480);
        ASSERT_NE(host_, nullptr);
    }
    void TearDown() override {
        testwin::SharedHost(640, 480);  // its viewers go while the plug-in is loaded
        PumpMessages();
        plugin_.reset();
    }
    std::vector<std::wstring> Log() const { return ReadLogEntries(folder_ + L"\\velloquin.log"); }
    int CountLogPrefix(const std::wstring& prefix) const { return CountLogEntriesStartingWith(Log(), prefix); }

    std::wstring folder_;
    std::unique_ptr<LoadedPlugin> plugin_;
    CreateViewerFn createViewer_ = nullptr;
    HWND host_ = nullptr;
};

TEST_F(ViewerWindow, CreatedAsChildOfTheParentWithTheFixedClassAndStyle) {
    int loadsBefore = testhost::LoadOrSaveCalls();
    HWND viewer = createViewer_(host_, nullptr, 4);
    EXPECT_EQ(testhost::LoadOrSaveCalls(), loadsBefore + 1);  // the settings are read afresh
    ASSERT_NE(viewer, nullptr);
    wchar_t className[64] = {};
    GetClassNameW(viewer, className, 64);
    EXPECT_STREQ(className, L"DopusVelloquinViewerClass");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(viewer, GWL_STYLE)), 0x56010000u);
    EXPECT_EQ(GetWindowLongW(viewer, GWL_EXSTYLE), 0);
    EXPECT_EQ(GetWindowTextLengthW(viewer), 0);
    EXPECT_EQ(GetParent(viewer), host_);
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetClassInfoExW(plugin_->module(), L"DopusVelloquinViewerClass", &info));
    EXPECT_EQ(info.style, 3u);
    EXPECT_EQ(info.cbClsExtra, 0);
    EXPECT_EQ(info.cbWndExtra, 0);
    EXPECT_EQ(info.hCursor, LoadCursorW(nullptr, IDC_ARROW));

    auto log = Log();
    int enter = FindLogEntry(
        log, L"[DVP_CreateViewer] DVP_CreateViewer ENTER, parent=" + Pointer(host_) + L", flags=0x00000004");
    int load = FindLogEntry(log, L"[PluginConfig::Load] PluginConfig::Load", enter);
    int created =
        FindLogEntry(log, L"[DVP_CreateViewer] DVP_CreateViewer created hwnd=" + Pointer(viewer), enter);
    EXPECT_GE(enter, 0);
    EXPECT_GT(load, enter);
    EXPECT_GT(created, load);
}

TEST_F(ViewerWindow, TakesTheGivenRectangleElseTheParentsClientArea) {
    HWND whole = createViewer_(host_, nullptr, 4);
    RECT given = {10, 20, 110, 220};
    HWND placed = createViewer_(host_, &given, 4);
    ASSERT_NE(whole, nullptr);
    ASSERT_NE(placed, nullptr);  // a second viewer: the class is already there
    RECT client = {};
    GetClientRect(host_, &client);
    EXPECT_EQ(testwin::RectInParent(whole), client);
    EXPECT_EQ(testwin::RectInParent(placed), given);
}

TEST_F(ViewerWindow, FailedCreationAnswersNullAndLogsIt) {
    HWND dead = testwin::CreateChild(host_, L"Gone", 0, 0, 10, 10);
    DestroyWindow(dead);
    EXPECT_EQ(createViewer_(dead, nullptr, 0), nullptr);
    auto log = Log();
    EXPECT_TRUE(LogHas(log, L"[DVP_CreateViewer] DVP_CreateViewer created hwnd=0x0000000000000000"));
    EXPECT_EQ(CountLogPrefix(L"[RegisterStandaloneContainer]"), 0);
}

TEST_F(ViewerWindow, OnlyBitTwoOfTheFlagsDecidesBetweenPaneAndStandaloneViewer) {
    HWND pane = createViewer_(host_, nullptr, 0xFFFFFFFF);
    EXPECT_EQ(CountLogPrefix(L"[RegisterStandaloneContainer]"), 0);
    HWND standalone1 = createViewer_(host_, nullptr, 0xFFFFFFFB);
    HWND standalone2 = createViewer_(host_, nullptr, 0);
    ASSERT_TRUE(pane && standalone1 && standalone2);
    // One hook for both stand-alone viewers, removed with the last of them.
    EXPECT_EQ(
        CountLogPrefix(L"[RegisterStandaloneContainer] RegisterStandaloneContainer: mouse hook installed=0x"),
        1);
    EXPECT_FALSE(LogHas(Log(),
                        L"[RegisterStandaloneContainer] RegisterStandaloneContainer: mouse hook installed="
                        L"0x0000000000000000"));
    const std::wstring removed =
        L"[UnregisterStandaloneContainer] UnregisterStandaloneContainer: mouse hook removed";
    DestroyWindow(pane);
    DestroyWindow(standalone1);
    EXPECT_FALSE(LogHas(Log(), removed));
    DestroyWindow(standalone2);
    EXPECT_TRUE(LogHas(Log(), removed));
}

TEST_F(ViewerWindow, HostMessagesAnswerAsListed) {
    RECT given = {0, 0, 300, 200};
    HWND viewer = createViewer_(host_, &given, 4);
    ASSERT_NE(viewer, nullptr);
    int32_t size[2] = {-1, -1};
    int32_t depth = -1;
    EXPECT_EQ(SendMessageW(viewer, 0x8F14, reinterpret_cast<WPARAM>(&depth), reinterpret_cast<LPARAM>(size)),
              0);
    EXPECT_EQ(size[0], 300);
    EXPECT_EQ(size[1], 200);
    EXPECT_EQ(depth, 32);
    EXPECT_EQ(SendMessageW(viewer, 0x8F14, 0, 0), 0);
    for (UINT ignored : {0x8F07u, 0x8F08u, 0x8F19u})
        EXPECT_EQ(SendMessageW(viewer, ignored, 0, 0x00100010), 0);
    EXPECT_EQ(SendMessageW(viewer, WM_ERASEBKGND, 0, 0), 1);
    EXPECT_EQ(SendMessageW(viewer, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(host_), 0), MA_ACTIVATE);
    EXPECT_EQ(SendMessageW(viewer, WM_PARENTNOTIFY, WM_CREATE, 0), 0);
    EXPECT_EQ(SendMessageW(viewer, WM_TIMER, 1234, 0), 0);
    EXPECT_EQ(SendMessageW(viewer, WM_TIMER, 3585, 0), 0);

    SendMessageW(viewer, 0x8F00, 0x12, 0xAB);
    SendMessageW(viewer, 0x8F80, 0, static_cast<LPARAM>(-1));
    SendMessageW(viewer, 0x8F42, 1, 2);
    SendMessageW(viewer, 0x8F81, 0, 0);
    SendMessageW(viewer, 0x8EFF, 0, 0);
    auto log = Log();
    EXPECT_TRUE(LogHas(
        log,
        L"[ViewerWndProc] unhandled DVP msg=0x8F00 wParam=0x0000000000000012 lParam=0x00000000000000AB"));
    EXPECT_TRUE(LogHas(
        log,
        L"[ViewerWndProc] unhandled DVP msg=0x8F80 wParam=0x0000000000000000 lParam=0xFFFFFFFFFFFFFFFF"));
    EXPECT_TRUE(LogHas(
        log,
        L"[ViewerWndProc] unhandled DVP msg=0x8F42 wParam=0x0000000000000001 lParam=0x0000000000000002"));
    EXPECT_EQ(CountLogPrefix(L"[ViewerWndProc] unhandled DVP msg="),
              3);  // handled ones, 0x8F81, 0x8EFF: none
}

TEST_F(ViewerWindow, LoadAndClearAreLoggedAndAnswered) {
    HWND viewer = createViewer_(host_, nullptr, 4);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(SendMessageW(viewer, 0x8F02, 0, 0), 0);
    EXPECT_EQ(SendMessageW(viewer, 0x8F02, 0, reinterpret_cast<LPARAM>(L"")), 0);
    EXPECT_EQ(SendMessageW(viewer, 0x8F01, 0, 0), 0);
    EXPECT_EQ(SendMessageW(viewer, 0x8F01, 0, reinterpret_cast<LPARAM>("C:\\nothing\\here.zzz")), 0);
    EXPECT_EQ(SendMessageW(viewer, 0x8F1B, 0, 0), 0);
    auto log = Log();
    int w = FindLogEntry(log, L"[ViewerWndProc] DVPLUGINMSG_LOADW received");
    ASSERT_GE(w, 0);
    EXPECT_GT(FindLogEntry(log, L"[ViewerWndProc] DVPLUGINMSG_LOADW return 0", w), w);
    int a = FindLogEntry(log, L"[ViewerWndProc] DVPLUGINMSG_LOADA received");
    ASSERT_GE(a, 0);
    EXPECT_GT(FindLogEntry(log, L"[ViewerWndProc] DVPLUGINMSG_LOADA return 0", a), a);
    EXPECT_TRUE(LogHas(log, L"[ViewerWndProc] DVPLUGINMSG_CLEAR received"));
}

// On the screen, as the user sees the window (whichever of its children covers it).
void FillClient(HWND window, COLORREF colour) {
    HDC dc = GetDC(nullptr);
    RECT client = {};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    ReleaseDC(nullptr, dc);
}

COLORREF PixelAt(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    HDC dc = GetDC(nullptr);
    COLORREF colour = GetPixel(dc, point.x, point.y);
    ReleaseDC(nullptr, dc);
    return colour;
}

// Where no editor is left (a clear, an extension no group claims, no path), the window shows its
// background instead of the last picture of the editor that was there.
TEST_F(ViewerWindow, PaintsItsBackgroundOnceNoEditorCoversIt) {
    HWND viewer = createViewer_(host_, nullptr, 4);
    ASSERT_NE(viewer, nullptr);
    UpdateWindow(host_);
    const COLORREF background = GetSysColor(COLOR_WINDOW);
    const COLORREF stale = RGB(255, 0, 0);  // stands for the ended editor's picture
    struct Case {
        const char* name;
        UINT message;
        const wchar_t* path;
    };
    const Case cases[] = {{"clear", 0x8F1B, nullptr},
                          {"no editor for the extension", 0x8F02, L"C:\\nothing\\here.zzz"},
                          {"null path", 0x8F02, nullptr}};
    for (const Case& c : cases) {
        FillClient(viewer, stale);
        ASSERT_EQ(PixelAt(viewer, 320, 240), stale) << c.name;
        SendMessageW(viewer, c.message, 0, reinterpret_cast<LPARAM>(c.path));
        UpdateWindow(viewer);
        PumpMessages();
        EXPECT_EQ(PixelAt(viewer, 320, 240), background) << c.name;
        EXPECT_EQ(PixelAt(viewer, 2, 2), background) << c.name;
        EXPECT_EQ(PixelAt(viewer, 637, 477), background) << c.name;
    }
}

// The ANSI path goes through the system's ANSI code page, whatever that is here.
TEST_F(ViewerWindow, AnsiLoadConvertsThroughTheAnsiCodePage) {
    HWND viewer = createViewer_(host_, nullptr, 4);
    ASSERT_NE(viewer, nullptr);
    const char ansiPath[] = "C:\\caf\xE9\\n\xF6tes.zzz";
    wchar_t expected[64] = {};
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, ansiPath, -1, expected, 64), 0);
    EXPECT_EQ(SendMessageW(viewer, 0x8F01, 0, reinterpret_cast<LPARAM>(ansiPath)), 0);
    EXPECT_TRUE(LogHas(Log(), std::wstring(L"[LoadFile] filePath=[") + expected + L"]"));
    EXPECT_EQ(SendMessageW(viewer, 0x8F01, 0, 0), 0);
    EXPECT_TRUE(LogHas(Log(), L"[LoadFile] filePath=[(null)]"));
}

// A viewer whose WM_DESTROY has run has no state: every message is answered without it.
TEST_F(ViewerWindow, MessagesWithoutStateAreAnsweredWithoutTouchingIt) {
    HWND viewer = createViewer_(host_, nullptr, 0);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(SendMessageW(viewer, WM_DESTROY, 0, 0), 0);
    EXPECT_TRUE(
        LogHas(Log(), L"[UnregisterStandaloneContainer] UnregisterStandaloneContainer: mouse hook removed"));
    int32_t size[2] = {-1, -1};
    int32_t depth = -1;
    EXPECT_EQ(SendMessageW(viewer, 0x8F14, reinterpret_cast<WPARAM>(&depth), reinterpret_cast<LPARAM>(size)),
              0);
    EXPECT_EQ(size[0], -1);
    EXPECT_EQ(depth, -1);
    EXPECT_EQ(SendMessageW(viewer, 0x8F02, 0, reinterpret_cast<LPARAM>(L"C:\\a.txt")), 0);
    EXPECT_EQ(SendMessageW(viewer, 0x8F01, 0, reinterpret_cast<LPARAM>("C:\\a.txt")), 0);
    EXPECT_EQ(SendMessageW(viewer, 0x8F1B, 0, 0), 0);
    EXPECT_EQ(SendMessageW(viewer, 0x8F08, 0, 0x00100010), 0);
    EXPECT_EQ(SendMessageW(viewer, WM_SIZE, 0, 0x00100010), 0);
    EXPECT_EQ(SendMessageW(viewer, WM_SETFOCUS, 0, 0), 0);
    EXPECT_EQ(SendMessageW(viewer, WM_MOUSEACTIVATE, 0, 0), MA_ACTIVATE);
    SetTimer(viewer, 3585, 100000, nullptr);
    EXPECT_EQ(SendMessageW(viewer, WM_TIMER, 3585, 0), 0);
    EXPECT_FALSE(KillTimer(viewer, 3585));  // no state: the focus timer was killed
    EXPECT_TRUE(LogHas(Log(), L"[ViewerWndProc] DVPLUGINMSG_LOADW return 0"));
    EXPECT_TRUE(DestroyWindow(viewer));  // the real WM_DESTROY finds no state either
}

HHOOK creationHook = nullptr;
std::vector<LRESULT> answersBeforeCreate;

// Called when a window is about to be created, before any message reaches it.
LRESULT CALLBACK SendBeforeCreate(int code, WPARAM wParam, LPARAM lParam) {
    HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t className[64] = {};
    if (code == HCBT_CREATEWND && GetClassNameW(window, className, 64) &&
        std::wstring(className) == L"DopusVelloquinViewerClass") {
        int32_t size[2] = {-1, -1};
        answersBeforeCreate = {
            SendMessageW(window, 0x8F02, 0, reinterpret_cast<LPARAM>(L"C:\\a.txt")),
            SendMessageW(window, 0x8F01, 0, reinterpret_cast<LPARAM>("C:\\a.txt")),
            SendMessageW(window, 0x8F1B, 0, 0),
            SendMessageW(window, 0x8F14, 0, reinterpret_cast<LPARAM>(size)),
            SendMessageW(window, WM_TIMER, 3585, 0),
            SendMessageW(window, WM_SETFOCUS, 0, 0),
            size[0],
        };
    }
    return CallNextHookEx(creationHook, code, wParam, lParam);
}

TEST_F(ViewerWindow, MessagesBeforeCreationFindNoStateAndAnswerZero) {
    creationHook = SetWindowsHookExW(WH_CBT, SendBeforeCreate, nullptr, GetCurrentThreadId());
    ASSERT_NE(creationHook, nullptr);
    HWND viewer = createViewer_(host_, nullptr, 4);
    UnhookWindowsHookEx(creationHook);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(answersBeforeCreate, (std::vector<LRESULT>{0, 0, 0, 0, 0, 0, -1}));
    int32_t size[2] = {-1, -1};
    SendMessageW(viewer, 0x8F14, 0, reinterpret_cast<LPARAM>(size));
    EXPECT_EQ(size[0], 640);  // the state came with WM_CREATE all the same
}

}  // namespace
