// Launch overhead under Wine with a stand-in editor whose first frame takes 300 ms to paint (a
// measurement, not a test). On the stand-in's own tick clock:
//   the editor's own start-to-window time: from the call of LaunchAndEmbed to its first frame;
//   the launch overhead: LaunchAndEmbed's time beyond the creation of the editor's main window
//     (the window search and the embedding), which must not wait for that paint.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "config/config_lock.h"
#include "config/plugin_config.h"
#include "embed/child_window.h"
#include "embed/launch.h"
#include "support/standin_journal.h"
#include "support/test_support.h"

namespace {

constexpr int kLaunchRuns = 10;
constexpr DWORD kJournalWaitMs = 5000;
constexpr wchar_t kSlowPaint[] = L"--first-paint=300";

HWND CreateViewer() {
    // Shown: an editor inside a hidden window never paints.
    HWND top = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    return CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 780, 560, top,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Figures {
    std::vector<double> overheadMs;
    std::vector<double> ownMs;
    std::vector<double> callMs;
    int failures = 0;
};

void MeasureOne(HWND viewer, const standin::JournalScope& journal, const std::wstring& editor,
                Figures& figures) {
    ViewerState state;
    const ULONGLONG called = GetTickCount64();
    const bool embedded =
        LaunchAndEmbed(viewer, state, DetectEditorProfile(editor), editor, L"C:\\velloquin-bench\\slow.txt");
    const ULONGLONG returned = GetTickCount64();
    const DWORD pid = state.editor.processId;
    if (!embedded || !journal.WaitForEvent("painted", kJournalWaitMs, pid)) {
        std::printf("  %s\n", embedded ? "no first frame seen" : "launch failed");
        ++figures.failures;
        KillChild(state);
        return;
    }
    auto entries = journal.Read();
    const ULONGLONG window = standin::Events(entries, "window", pid).front().tick;
    const ULONGLONG painted = standin::Events(entries, "painted", pid).front().tick;
    figures.ownMs.push_back(static_cast<double>(painted - called));
    figures.overheadMs.push_back(returned > window ? static_cast<double>(returned - window) : 0.0);
    figures.callMs.push_back(static_cast<double>(returned - called));
    KillChild(state);
}

void Measure(HWND viewer, const wchar_t* label, const wchar_t* editorName) {
    standin::JournalScope journal(L"bench-slow-paint");
    const std::wstring editor = standin::StandinPath(editorName);
    Figures figures;
    for (int i = 0; i < kLaunchRuns; ++i) MeasureOne(viewer, journal, editor, figures);
    const double overhead = Median(figures.overheadMs);
    const double own = Median(figures.ownMs);
    std::printf(
        "  %-10ls (%ls %ls)  overhead median %6.1f ms   editor start-to-first-frame median %6.1f ms"
        "   ratio %.3f   LaunchAndEmbed median %6.1f ms   (n=%zu, failed %d)\n",
        label, editorName, kSlowPaint, overhead, own, own > 0 ? overhead / own : 0.0, Median(figures.callMs),
        figures.overheadMs.size(), figures.failures);
}

}  // namespace

int main() {
    testing_support::UseTempFolder(testing_support::MakeTempDir(L"bench-launch"));
    {
        ConfigLockGuard lock;
        pluginConfig.editorParams = kSlowPaint;
    }
    std::printf("\n== Launch overhead with an editor slow to paint its first frame ==\n");
    HWND viewer = CreateViewer();
    Measure(viewer, L"hook path", L"notepad4.exe");
    Measure(viewer, L"generic", L"otheredit.exe");
    DestroyWindow(GetParent(viewer));
    standin::TerminateChildProcesses();
    return 0;
}
