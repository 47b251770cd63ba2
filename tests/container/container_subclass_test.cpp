// The subclass of the stand-alone viewer's top-level window, with viewers made by the linked
// product code so that the test can give them an editor window of this process.

#include <gtest/gtest.h>

#include <string>

#include "../viewer/viewer_test_windows.h"
#include "common/window_data.h"
#include "container_test_input.h"
#include "editor/viewer_state.h"
#include "plugin/exports.h"
#include "support/test_support.h"
#include "viewer/standalone_container.h"

using namespace testing_support;

namespace {

constexpr UINT kProbeMessage = WM_USER + 5;
constexpr LRESULT kProbeAnswer = 1234;

int lastNcActivate = -1;
std::string lastAnsiText;
int thirdPartyCalls = 0;
WNDPROC thirdPartyPrevious = nullptr;

// An ANSI window procedure: a procedure called without CallWindowProcW would get wide text here.
LRESULT CALLBACK RecordingProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCACTIVATE) lastNcActivate = static_cast<int>(wParam);
    if (message == WM_SETTEXT && lParam) lastAnsiText = reinterpret_cast<const char*>(lParam);
    if (message == kProbeMessage) return kProbeAnswer;
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ThirdPartyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++thirdPartyCalls;
    return CallWindowProcW(thirdPartyPrevious, window, message, wParam, lParam);
}

// Hidden top-level windows of an ANSI class (hidden ones go away at once under Wine).
HWND CreateAnsiTop() {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = RecordingProcA;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = "RecordingTopA";
    RegisterClassExA(&windowClass);
    return CreateWindowExA(0, "RecordingTopA", "", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

LONG_PTR Procedure(HWND window) {
    return GetWindowLongPtrW(window, GWLP_WNDPROC);
}

const LONG_PTR ours = reinterpret_cast<LONG_PTR>(TopWindowSubclassProc);

class TopSubclass : public ::testing::Test {
   protected:
    void SetUp() override {
        top_ = CreateAnsiTop();
        ASSERT_NE(top_, nullptr);
        original_ = Procedure(top_);
        viewer_ = DVP_CreateViewer(top_, nullptr, 0);
        ASSERT_NE(viewer_, nullptr);
        lastNcActivate = -1;
    }
    void TearDown() override {
        if (IsWindow(top_)) DestroyWindow(top_);
        PumpMessages();
    }
    ViewerState& State(HWND viewer) { return *GetWindowData<ViewerState>(viewer); }

    HWND top_ = nullptr;
    LONG_PTR original_ = 0;
    HWND viewer_ = nullptr;
};

TEST_F(TopSubclass, CaptionStaysActiveOnlyWhileTheEmbeddedEditorsProcessHasTheForeground) {
    HWND foreground = testwin::SharedHost(100, 100, 1);
    SetForegroundWindow(foreground);
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == foreground; }, 2000));
    HWND editor = testwin::CreateChild(viewer_, L"FakeEditor", 0, 0, 50, 50);
    State(viewer_).editor.window = editor;
    SubclassTop(top_);
    ASSERT_EQ(Procedure(top_), ours);

    SendMessageW(top_, WM_NCACTIVATE, 0, 0);  // the editor's process (this one) has the foreground
    EXPECT_EQ(lastNcActivate, 1);
    SendMessageW(top_, WM_NCACTIVATE, 1, 0);
    EXPECT_EQ(lastNcActivate, 1);
    State(viewer_).editor.window = nullptr;
    SendMessageW(top_, WM_NCACTIVATE, 0, 0);
    EXPECT_EQ(lastNcActivate, 0);
    State(viewer_).editor.window = editor;
    DestroyWindow(editor);  // an editor that closed itself
    SendMessageW(top_, WM_NCACTIVATE, 0, 0);
    EXPECT_EQ(lastNcActivate, 0);
}

TEST_F(TopSubclass, PreviousProcedureIsCalledThroughCallWindowProc) {
    SubclassTop(top_);
    ASSERT_EQ(Procedure(top_), ours);
    EXPECT_EQ(SendMessageW(top_, kProbeMessage, 0, 0), kProbeAnswer);
    SendMessageW(top_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"wide caption"));
    EXPECT_EQ(lastAnsiText, "wide caption");
}

// The hook's thread may move the subclass between a message's dispatch to our procedure and its
// lookup there: the message must still reach the window's own procedure.
TEST_F(TopSubclass, MessageDispatchedBeforeTheSubclassWasGivenBackStillReachesTheWindowsProcedure) {
    HWND secondTop = CreateAnsiTop();
    HWND secondViewer = DVP_CreateViewer(secondTop, nullptr, 0);
    SubclassTop(top_);
    SubclassTop(secondTop);  // moved on: top_ has its own procedure again
    ASSERT_EQ(Procedure(top_), original_);
    EXPECT_EQ(TopWindowSubclassProc(top_, kProbeMessage, 0, 0), kProbeAnswer);
    DestroyWindow(secondViewer);
    DestroyWindow(viewer_);  // the last viewer: given back everywhere
    ASSERT_EQ(Procedure(secondTop), original_);
    EXPECT_EQ(TopWindowSubclassProc(secondTop, kProbeMessage, 0, 0), kProbeAnswer);
    DestroyWindow(secondTop);
}

TEST_F(TopSubclass, MovesToTheLatestWindowAndIsGivenBackWithTheLastViewer) {
    HWND secondTop = CreateAnsiTop();
    HWND secondViewer = DVP_CreateViewer(secondTop, nullptr, 0);
    HWND unregisteredTop = CreateAnsiTop();
    SubclassTop(unregisteredTop);  // holds no stand-alone viewer
    EXPECT_EQ(Procedure(unregisteredTop), original_);
    SubclassTop(top_);
    SubclassTop(secondTop);
    EXPECT_EQ(Procedure(top_), original_);
    EXPECT_EQ(Procedure(secondTop), ours);
    DestroyWindow(viewer_);
    EXPECT_EQ(Procedure(secondTop), ours);
    DestroyWindow(secondViewer);
    EXPECT_EQ(Procedure(secondTop), original_);
    DestroyWindow(secondTop);
    DestroyWindow(unregisteredTop);
}

TEST_F(TopSubclass, SubclassedWindowThatIsGoneIsLeftAlone) {
    HWND spare = DVP_CreateViewer(testwin::SharedHost(100, 100, 2), nullptr, 0);
    SubclassTop(top_);
    DestroyWindow(top_);  // takes its viewer with it; the spare keeps the container alive
    SubclassTop(top_);
    DestroyWindow(spare);
    HWND again = CreateAnsiTop();
    HWND viewer = DVP_CreateViewer(again, nullptr, 0);
    SubclassTop(again);
    EXPECT_EQ(Procedure(again), ours);
    EXPECT_EQ(SendMessageW(again, kProbeMessage, 0, 0), kProbeAnswer);
    DestroyWindow(viewer);
    EXPECT_EQ(Procedure(again), original_);
    DestroyWindow(again);
}

// Something subclassed the window after us: it is not cut off when our viewers go, and when it
// has given our procedure back, ours is undone properly later.
TEST_F(TopSubclass, LaterSubclassIsNotCutOff) {
    SubclassTop(top_);
    thirdPartyPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(top_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ThirdPartyProc)));
    DestroyWindow(viewer_);
    EXPECT_EQ(Procedure(top_), reinterpret_cast<LONG_PTR>(ThirdPartyProc));
    thirdPartyCalls = 0;
    EXPECT_EQ(SendMessageW(top_, kProbeMessage, 0, 0), kProbeAnswer);
    EXPECT_EQ(thirdPartyCalls, 1);

    SetWindowLongPtrW(top_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(thirdPartyPrevious));
    EXPECT_EQ(Procedure(top_), ours);
    HWND viewer = DVP_CreateViewer(top_, nullptr, 0);
    SubclassTop(top_);
    EXPECT_EQ(SendMessageW(top_, kProbeMessage, 0, 0), kProbeAnswer);
    DestroyWindow(viewer);
    EXPECT_EQ(Procedure(top_), original_);
    EXPECT_EQ(SendMessageW(top_, kProbeMessage, 0, 0), kProbeAnswer);
}

TEST_F(TopSubclass, StaleRegisteredViewerIsSkippedAndDoesNotKeepTheContainer) {
    HWND stale = testwin::CreateChild(top_, L"GoneViewer", 0, 0, 10, 10);
    RegisterStandaloneContainer(stale);
    DestroyWindow(stale);  // gone without unregistering
    SubclassTop(top_);
    ASSERT_EQ(Procedure(top_), ours);
    SendMessageW(top_, WM_NCACTIVATE, 0, 0);
    EXPECT_EQ(lastNcActivate, 0);
    DestroyWindow(viewer_);
    EXPECT_EQ(Procedure(top_), original_);
}

LRESULT CALLBACK QuietTargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
    return DefWindowProcW(window, message, wParam, lParam);
}

// A press while the embedded editor's process owns the foreground raises nothing, but the
// window is subclassed (here the "editor" is a window of this process).
TEST(ContainerRaise, NothingRaisedWhileTheEditorsProcessOwnsTheForeground) {
    HWND top = testwin::SharedHost(300, 200, 0);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = QuietTargetProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuietTarget";
    RegisterClassExW(&windowClass);
    CreateWindowExW(0, L"QuietTarget", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 200, top, nullptr,
                    GetModuleHandleW(nullptr), nullptr);
    RECT right = {100, 0, 300, 200};
    HWND viewer = DVP_CreateViewer(top, &right, 0);
    ASSERT_NE(viewer, nullptr);
    GetWindowData<ViewerState>(viewer)->editor.window =
        testwin::CreateChild(viewer, L"FakeEditor", 0, 0, 50, 50);
    HWND foreground = testwin::SharedHost(300, 300, 1);
    SetForegroundWindow(foreground);
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == foreground; }, 2000));

    // A second press only if the first was not seen: under a heavily loaded machine the system may
    // skip a low-level hook that answers late.
    POINT point = testinput::ScreenPoint(top, 30, 30);
    bool subclassed = false;
    for (int attempt = 0; attempt < 2 && !subclassed; ++attempt) {
        subclassed =
            testinput::InjectAndWait(testinput::ClickAt(point), [&] { return Procedure(top) == ours; });
    }
    EXPECT_TRUE(subclassed);
    EXPECT_EQ(GetForegroundWindow(), foreground);
    DestroyWindow(viewer);
    EXPECT_NE(Procedure(top), ours);
    testwin::SharedHost(300, 200, 0);
}

}  // namespace
