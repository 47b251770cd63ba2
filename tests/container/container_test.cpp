// The stand-alone container as the host meets it: stand-alone viewers made with the DLL's
// DVP_CreateViewer, mouse input injected with SendInput, the log the plug-in writes.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "../viewer/viewer_test_windows.h"
#include "container_test_input.h"
#include "support/test_support.h"

using namespace testing_support;
using namespace testinput;

namespace {

using CreateViewerFn = HWND(WINAPI*)(HWND, LPRECT, DWORD);

std::map<UINT, int> targetMessages;

// Takes clicks without activating its window, so only the plug-in can bring that window forward.
LRESULT CALLBACK ClickTargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ++targetMessages[message];
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateClickTarget(HWND parent, int width, int height) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ClickTargetProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"ClickTarget";
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, L"ClickTarget", L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height, parent,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

bool IsAbove(HWND upper, HWND lower) {
    for (HWND window = GetWindow(lower, GW_HWNDPREV); window; window = GetWindow(window, GW_HWNDPREV)) {
        if (window == upper) return true;
    }
    return false;
}

bool MakeForeground(HWND window) {
    SetForegroundWindow(window);
    return WaitFor([&] { return GetForegroundWindow() == window; }, 2000);
}

// The container window (a stand-alone viewer on the right, a click target on the left) and
// another window of this program in front of it, partly covering it.
class Container : public ::testing::Test {
   protected:
    void SetUp() override {
        folder_ = testwin::FreshLogFolder();
        plugin_ = std::make_unique<LoadedPlugin>();
        createViewer_ = plugin_->Get<CreateViewerFn>("DVP_CreateViewer");
        ASSERT_NE(createViewer_, nullptr);
        top_ = testwin::SharedHost(400, 300, 0);
        other_ = testwin::SharedHost(300, 300, 1);
        SetWindowPos(top_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        target_ = CreateClickTarget(top_, 150, 300);
        otherTarget_ = CreateClickTarget(other_, 300, 300);
        RECT right = {200, 0, 400, 300};
        viewer_ = createViewer_(top_, &right, 0);
        ASSERT_NE(viewer_, nullptr);
        targetMessages.clear();
        ASSERT_TRUE(MakeForeground(other_));
    }
    void TearDown() override {
        testwin::SharedHost(400, 300, 0);
        testwin::SharedHost(300, 300, 1);
        PumpMessages();
        plugin_.reset();
    }
    std::vector<std::wstring> Log() const { return ReadLogEntries(folder_ + L"\\velloquin.log"); }
    int CountLogPrefix(const std::wstring& prefix) const { return CountLogEntriesStartingWith(Log(), prefix); }

    std::wstring folder_;
    std::unique_ptr<LoadedPlugin> plugin_;
    CreateViewerFn createViewer_ = nullptr;
    HWND top_ = nullptr;
    HWND other_ = nullptr;
    HWND target_ = nullptr;
    HWND otherTarget_ = nullptr;
    HWND viewer_ = nullptr;
};

TEST_F(Container, EachButtonPressBringsTheContainerForwardAndStillReachesItsTarget) {
    const struct {
        DWORD down, up;
        UINT message;
    } buttons[] = {{MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, WM_LBUTTONDOWN},
                   {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, WM_RBUTTONDOWN},
                   {MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, WM_MBUTTONDOWN}};
    WNDPROC original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(top_, GWLP_WNDPROC));
    for (const auto& button : buttons) {
        ASSERT_TRUE(MakeForeground(other_));
        EXPECT_TRUE(InjectAndWait(ClickAt(ScreenPoint(top_, 50, 50), button.down, button.up), [&] {
            return GetForegroundWindow() == top_ && targetMessages[button.message] == 1;
        })) << button.message;
        EXPECT_TRUE(IsAbove(top_, other_));
    }
    EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(top_, GWLP_WNDPROC)), original);
    wchar_t expected[128];
    swprintf(expected, 128, L"[SubclassTop] SubclassTop: subclassed top=0x%016llX cls=[VelloquinTestHost]",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(top_)));
    EXPECT_TRUE(LogHas(Log(), expected));
    EXPECT_EQ(CountLogPrefix(L"[SubclassTop]"), 1);

    DestroyWindow(viewer_);  // the last stand-alone viewer: hook removed, procedure given back
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(top_, GWLP_WNDPROC)), original);
    EXPECT_TRUE(
        LogHas(Log(), L"[UnregisterStandaloneContainer] UnregisterStandaloneContainer: mouse hook removed"));
}

TEST_F(Container, ReleasesMovesWheelAndXButtonsChangeNothing) {
    POINT point = ScreenPoint(top_, 60, 60);
    auto events =
        EventsAt(point, {MouseInput(MOUSEEVENTF_MOVE, 1, 1), MouseInput(MOUSEEVENTF_WHEEL, 0, 0, WHEEL_DELTA),
                         MouseInput(MOUSEEVENTF_LEFTUP), MouseInput(MOUSEEVENTF_XDOWN, 0, 0, XBUTTON1),
                         MouseInput(MOUSEEVENTF_XUP, 0, 0, XBUTTON1)});
    EXPECT_TRUE(InjectAndWait(events, [&] { return targetMessages[WM_XBUTTONUP] == 1; }));
    EXPECT_EQ(targetMessages[WM_XBUTTONDOWN], 1);
    EXPECT_EQ(GetForegroundWindow(), other_);
    EXPECT_EQ(CountLogPrefix(L"[SubclassTop]"), 0);
}

TEST_F(Container, PressIntoAWindowWithoutViewerChangesNothing) {
    ASSERT_TRUE(MakeForeground(top_));
    EXPECT_TRUE(InjectAndWait(ClickAt(ScreenPoint(other_, 250, 250)),
                              [&] { return targetMessages[WM_LBUTTONUP] == 1; }));
    EXPECT_EQ(GetForegroundWindow(), top_);
    EXPECT_EQ(CountLogPrefix(L"[SubclassTop]"), 0);
}

TEST_F(Container, AlwaysOnTopIsKeptWhenTheContainerIsRaised) {
    SetWindowPos(top_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_TRUE(MakeForeground(other_));
    EXPECT_TRUE(
        InjectAndWait(ClickAt(ScreenPoint(top_, 50, 50)), [&] { return GetForegroundWindow() == top_; }));
    EXPECT_TRUE(GetWindowLongW(top_, GWL_EXSTYLE) & WS_EX_TOPMOST);
    SetWindowPos(top_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// Two host threads make and destroy stand-alone viewers in windows of their own while clicks land
// on those windows: no crash, no hang, every hook removed again, every procedure given back.
TEST_F(Container, ViewersComingAndGoingOnTwoThreadsWhileInputArrives) {
    DestroyWindow(viewer_);
    constexpr int kRounds = 40;
    std::atomic<int> finished{0};
    std::atomic<bool> stop{false};
    HWND threadHosts[2] = {};
    WNDPROC originals[2] = {};
    auto host = [&](int index) {
        HWND window = testwin::CreateHostWindow(200, 200, 100 + 250 * index, 400);
        threadHosts[index] = window;
        originals[index] = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
        for (int round = 0; round < kRounds; ++round) {
            HWND viewer = createViewer_(window, nullptr, 0);
            WaitFor([] { return false; }, 5 + round % 7);
            DestroyWindow(viewer);
            PumpMessages();
        }
        ++finished;
        WaitFor([&] { return stop.load(); }, 60000);
        DestroyWindow(window);
    };
    std::thread first(host, 0);
    std::thread second(host, 1);
    ASSERT_TRUE(WaitFor([&] { return threadHosts[0] && threadHosts[1]; }, 5000));
    for (int click = 0; finished < 2 && click < 200; ++click) {
        HWND window = threadHosts[click % 2];
        InjectAndWait(
            ClickAt(ScreenPoint(window, 20 + click % 50, 20 + click % 40)), [] { return true; }, 1000);
    }
    EXPECT_TRUE(WaitFor([&] { return finished == 2; }, 60000));
    for (int index = 0; index < 2; ++index) {
        EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(threadHosts[index], GWLP_WNDPROC)),
                  originals[index]);
    }
    stop = true;
    WaitFor([&] { return !IsWindow(threadHosts[0]) && !IsWindow(threadHosts[1]); }, 10000);
    first.join();
    second.join();
    int installed =
        CountLogPrefix(L"[RegisterStandaloneContainer] RegisterStandaloneContainer: mouse hook installed=0x");
    EXPECT_GE(installed, 2);  // this fixture's viewer and at least one more
    EXPECT_EQ(
        CountLogPrefix(L"[UnregisterStandaloneContainer] UnregisterStandaloneContainer: mouse hook removed"),
        installed);
}

}  // namespace
