#include "loadfile_support.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstdint>

#include "common/handles.h"
#include "common/window_data.h"
#include "config/config_lock.h"
#include "config/plugin_config.h"
#include "embed/editor_registry.h"
#include "log/log.h"
#include "support/standin_journal.h"
#include "viewer/load_file.h"

namespace loadfile_test {

namespace {

class TempLogEnvironment : public ::testing::Environment {
   public:
    void SetUp() override { testing_support::UseTempFolder(testing_support::MakeTempDir(L"loadfile")); }
};
const auto* const tempLog = ::testing::AddGlobalTestEnvironment(new TempLogEnvironment);

constexpr wchar_t kViewerClass[] = L"TestViewerWindow";
constexpr DWORD kStartWaitMs = 10000;
constexpr wchar_t kTopClass[] = L"TestViewerTop";

// As the product's viewer window does.
LRESULT OnDestroy(HWND window) {
    ViewerState* state = GetWindowData<ViewerState>(window);
    StoreWindowData<ViewerState>(window, nullptr);
    const DWORD launching = state && state->work == ViewerState::Work::Launching ? state->editor.processId : 0;
    DestroyViewerState(state);
    ReleaseEditorsLeftInside(window, launching);
    return 0;
}

LRESULT OnRunPending(HWND window) {
    if (ViewerState* state = GetWindowData<ViewerState>(window)) RunPendingRequest(window, *state);
    return 0;
}

std::vector<int> testLoadAnswers;

LRESULT OnTestLoad(HWND window, LPARAM lParam) {
    if (ViewerState* state = GetWindowData<ViewerState>(window))
        testLoadAnswers.push_back(LoadFile(window, *state, reinterpret_cast<const wchar_t*>(lParam)) ? 1 : 0);
    return 0;
}

LRESULT OnTestClear(HWND window) {
    if (ViewerState* state = GetWindowData<ViewerState>(window)) ClearViewer(window, *state);
    return 0;
}

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
        case WM_DESTROY:
            return OnDestroy(window);
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            ValidateRect(window, nullptr);
            return 0;
        case kRunPendingRequestMessage:
            return OnRunPending(window);
        case kTestLoadMessage:
            return OnTestLoad(window, lParam);
        case kTestClearMessage:
            return OnTestClear(window);
        case kTestDestroyMessage:
            // A stand-in ended before it wrote its first line would leave no trace to check.
            if (lParam) AsPointer<const standin::JournalScope>(lParam)->WaitForEvent("start", kStartWaitMs);
            DestroyWindow(window);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void RegisterClasses() {
    static bool done = false;
    if (done) return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kViewerClass;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc);
    WNDCLASSW top{};
    top.lpfnWndProc = DefWindowProcW;
    top.hInstance = GetModuleHandleW(nullptr);
    top.lpszClassName = kTopClass;
    RegisterClassW(&top);
    done = true;
}

}  // namespace

TestViewer::TestViewer(bool inPreviewPane) {
    RegisterClasses();
    top = CreateWindowExW(0, kTopClass, L"viewer host", WS_OVERLAPPEDWINDOW, 20, 20, 640, 480, nullptr,
                          nullptr, GetModuleHandleW(nullptr), nullptr);
    RECT client{};
    GetClientRect(top, &client);
    window =
        CreateWindowExW(0, kViewerClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                        client.right, client.bottom, top, nullptr, GetModuleHandleW(nullptr), nullptr);
    state = new ViewerState;
    state->inPreviewPane = inPreviewPane;
    StoreWindowData(window, state);
    testing_support::PumpMessages();
}

TestViewer::~TestViewer() {
    if (IsWindow(top)) DestroyWindow(top);
    testing_support::PumpMessages();
}

HWND TestViewer::MakeEditorChild() {
    return CreateWindowExW(0, L"STATIC", L"editor", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, window, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

void TestViewer::DestroyViewer() {
    DestroyWindow(window);
    state = nullptr;
}

std::vector<int>& TestLoadAnswers() {
    return testLoadAnswers;
}

void MapEditors(const std::vector<std::pair<std::wstring, std::wstring>>& extToEditor,
                const std::wstring& editorParams) {
    ConfigLockGuard lock;
    pluginConfig.extToGroup.clear();
    pluginConfig.groupToViewer.clear();
    for (const auto& mapping : extToEditor) {
        pluginConfig.extToGroup[mapping.first] = L"group-" + mapping.first;
        pluginConfig.groupToViewer[L"group-" + mapping.first] = mapping.second;
    }
    pluginConfig.editorParams = editorParams;
}

void SetBehaviour(bool maximizeStandalone, bool focusOnLoad) {
    ConfigLockGuard lock;
    pluginConfig.maximizeStandaloneViewer = maximizeStandalone;
    pluginConfig.focusEditorOnLoad = focusOnLoad;
}

std::vector<std::wstring> Log() {
    return testing_support::ReadLogEntries(LogFilePath());
}

std::vector<std::wstring> LogSince(size_t skip) {
    std::vector<std::wstring> entries = Log();
    if (skip >= entries.size()) return {};
    return std::vector<std::wstring>(entries.begin() + static_cast<std::ptrdiff_t>(skip), entries.end());
}

std::wstring Hex16(const void* pointer) {
    wchar_t text[24];
    swprintf(text, 24, L"%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
    return text;
}

int SuspendThreadsOf(DWORD pid, bool resume) {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int suspended = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != pid) continue;
        UniqueHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
        const DWORD count = !thread  ? static_cast<DWORD>(-1)
                            : resume ? ResumeThread(thread.get())
                                     : SuspendThread(thread.get());
        if (count != static_cast<DWORD>(-1)) ++suspended;
    }
    return suspended;
}

}  // namespace loadfile_test
