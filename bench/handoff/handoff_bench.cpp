// Timing under Wine with the stand-in editors (a measurement, not a test):
//   hand-off latency per kind: LoadFile on a reused editor, from call to return;
//   launch overhead per capture path: LaunchAndEmbed's time beyond the stand-in's own time from
//     process creation to its main window existing (both on the shared tick clock);
//   KillChild for a cooperative editor (one that closes on WM_CLOSE).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/window_data.h"
#include "config/config_lock.h"
#include "config/plugin_config.h"
#include "embed/child_window.h"
#include "embed/launch.h"
#include "support/standin_journal.h"
#include "support/test_support.h"
#include "viewer/load_file.h"

namespace {

constexpr int kHandOffWarmup = 20;
constexpr int kHandOffRuns = 300;
constexpr int kLaunchRuns = 15;
constexpr DWORD kJournalWaitMs = 5000;

LRESULT CALLBACK BenchViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == kRunPendingRequestMessage) {
        if (ViewerState* state = GetWindowData<ViewerState>(window)) RunPendingRequest(window, *state);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateViewer() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = BenchViewerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"HandOffBenchViewer";
    RegisterClassW(&wc);
    HWND top = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    return CreateWindowExW(0, wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 780, 560,
                           top, nullptr, GetModuleHandleW(nullptr), nullptr);
}

void MapTextFilesTo(const std::wstring& editor, const std::wstring& params = L"") {
    ConfigLockGuard lock;
    pluginConfig.extToGroup = {{L"txt", L"text"}};
    pluginConfig.groupToViewer = {{L"text", editor}};
    pluginConfig.editorParams = params;
    pluginConfig.focusEditorOnLoad = false;
    pluginConfig.maximizeStandaloneViewer = false;
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

std::wstring BenchFile(int i) {
    return L"C:\\velloquin-bench\\file" + std::to_wstring(i) + L".txt";
}

// A file that does not exist is not handed over at all: each one the bench loads is made first.
void EnsureBenchFiles() {
    std::vector<std::wstring> files;
    for (int i = 0; i <= kHandOffWarmup + kHandOffRuns; ++i) files.push_back(BenchFile(i));
    testing_support::EnsureFiles(files);
}

void HandOffLatency(HWND viewer, ViewerState& state, const wchar_t* editorName) {
    MapTextFilesTo(standin::StandinPath(editorName), L"--no-paint");
    EnsureBenchFiles();
    if (!LoadFile(viewer, state, BenchFile(0).c_str())) {
        std::printf("  %-14ls launch failed, no figures\n", editorName);
        return;
    }
    std::vector<double> times;
    for (int i = 1; i <= kHandOffWarmup + kHandOffRuns; ++i) {
        const std::wstring file = BenchFile(i);
        const double start = Now();
        const bool shown = LoadFile(viewer, state, file.c_str());
        const double elapsed = Now() - start;
        if (!shown) std::printf("  %-14ls hand-off %d failed\n", editorName, i);
        if (i > kHandOffWarmup) times.push_back(elapsed);
        testing_support::PumpMessages();
    }
    std::printf("  %-14ls median %7.3f ms   p99 %7.3f ms   (n=%zu)\n", editorName, Percentile(times, 0.5),
                Percentile(times, 0.99), times.size());
    ClearViewer(viewer, state);
}

// A Notepad++ that ignores WM_COPYDATA from other programs (its sender check): the per-file cost of
// the files after the first, to set against the non-checking build's hand-off above.
void CheckingNotepadPPHandOff(HWND viewer, ViewerState& state) {
    constexpr int kCheckingRuns = 100;
    MapTextFilesTo(standin::StandinPath(L"notepad++.exe"), L"--sender-check --no-paint");
    if (!LoadFile(viewer, state, BenchFile(0).c_str())) {
        std::printf("  notepad++ (checking) launch failed, no figures\n");
        return;
    }
    double start = Now();
    LoadFile(viewer, state, BenchFile(1).c_str());
    const double first = Now() - start;
    std::vector<double> times;
    int failed = 0;
    for (int i = 2; i < 2 + kCheckingRuns; ++i) {
        start = Now();
        if (!LoadFile(viewer, state, BenchFile(i).c_str())) ++failed;
        times.push_back(Now() - start);
        testing_support::PumpMessages();
    }
    std::printf(
        "  notepad++ checking sender: second file %7.1f ms, later files median %7.1f ms   p99 %7.1f ms"
        "   (n=%zu, failed %d)\n",
        first, Percentile(times, 0.5), Percentile(times, 0.99), times.size(), failed);
    ClearViewer(viewer, state);
}

struct LaunchFigures {
    std::vector<double> overheadMs;
    std::vector<double> ownMs;
    std::vector<double> killMs;
};

bool MeasureOneLaunch(HWND viewer, ViewerState& state, const standin::JournalScope& journal,
                      const std::wstring& editor, LaunchFigures& figures) {
    const ULONGLONG called = GetTickCount64();
    const bool embedded = LaunchAndEmbed(viewer, state, DetectEditorProfile(editor), editor, BenchFile(0));
    const ULONGLONG returned = GetTickCount64();
    const DWORD pid = state.processId;
    if (!embedded || !journal.WaitForEvent("window", kJournalWaitMs, pid)) {
        KillChild(state);
        return false;
    }
    const ULONGLONG window = standin::Events(journal.Read(), "window", pid).front().tick;
    figures.ownMs.push_back(static_cast<double>(window - called));
    figures.overheadMs.push_back(static_cast<double>(returned) - static_cast<double>(window));
    const double killStart = Now();
    KillChild(state);
    figures.killMs.push_back(Now() - killStart);
    return true;
}

void LaunchOverhead(HWND viewer, ViewerState& state, const wchar_t* label, const wchar_t* editorName) {
    standin::JournalScope journal(L"bench-launch");
    const std::wstring editor = standin::StandinPath(editorName);
    MapTextFilesTo(editor);
    LaunchFigures figures;
    int failures = 0;
    for (int i = 0; i < kLaunchRuns; ++i) {
        if (!MeasureOneLaunch(viewer, state, journal, editor, figures)) ++failures;
    }
    const double overhead = Percentile(figures.overheadMs, 0.5);
    const double own = Percentile(figures.ownMs, 0.5);
    std::printf(
        "  %-10ls (%ls)  overhead median %6.1f ms   stand-in start-to-window median %6.1f ms   ratio %.3f"
        "   (n=%zu, failed %d)\n",
        label, editorName, overhead, own, own > 0 ? overhead / own : 0.0, figures.overheadMs.size(),
        failures);
    std::printf("  KillChild, cooperative %ls: median %6.1f ms   max %6.1f ms\n", editorName,
                Percentile(figures.killMs, 0.5), Percentile(figures.killMs, 1.0));
}

}  // namespace

#ifdef HANDOFF_BENCH_LOG_DISCARDED
constexpr char kVariant[] = "log discarded";
#else
constexpr char kVariant[] = "with the log";
#endif

int main(int argc, char** argv) {
    // "notepad++" measures only the Notepad++ hand-offs (both builds).
    const bool notepadPPOnly = argc > 1 && std::string(argv[1]) == "notepad++";
    testing_support::UseTempFolder(testing_support::MakeTempDir(L"bench-handoff"));
    std::printf("\n== File hand-off, launch and shutdown, %s ==\n", kVariant);
    HWND viewer = CreateViewer();
    auto* state = new ViewerState;
    StoreWindowData(viewer, state);

    std::printf("Hand-off latency (LoadFile on a reused stand-in editor)\n");
    for (const wchar_t* name : {L"notepad3.exe", L"notepad4.exe", L"notepad++.exe", L"emeditor.exe",
                                L"everedit.exe", L"otheredit.exe"}) {
        if (!notepadPPOnly || std::wstring(name) == L"notepad++.exe") HandOffLatency(viewer, *state, name);
    }
    CheckingNotepadPPHandOff(viewer, *state);
    if (!notepadPPOnly) {
        std::printf("Launch overhead (LaunchAndEmbed beyond the stand-in's own start-to-window time)\n");
        LaunchOverhead(viewer, *state, L"hook path", L"notepad3.exe");
        LaunchOverhead(viewer, *state, L"generic", L"otheredit.exe");
    }

    StoreWindowData<ViewerState>(viewer, nullptr);
    DestroyViewerState(state);
    DestroyWindow(GetParent(viewer));
    standin::TerminateChildProcesses();
    return 0;
}
