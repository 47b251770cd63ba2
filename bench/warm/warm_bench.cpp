// A mixed sequence of loads under Wine (a measurement, not a test): 60 files cycling through three
// groups of two files each, every group with its own stand-in editor whose first frame takes 300 ms
// to paint, once with "Keep editors ready" off and once on. The real DLL is driven as the host
// drives it: DVP_CreateViewer, then DVPLUGINMSG_LOADW per file.
//
// LOADW-to-shown, on the tick clock the stand-ins journal with: a load that started an editor
// counts until that editor painted its first frame; a hand-off until the editor handed the file
// (it takes it inside the hand-off's send) is a visible window in the viewer again. Printed beside
// it: the plug-in's own time for the hand-offs (LOADW's return) and the working sets of the editors
// kept at the end.

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host/test_host.h"
#include "support/standin_journal.h"
#include "support/test_support.h"

namespace {

using CreateViewerFn = HWND(WINAPI*)(HWND, LPRECT, DWORD);

constexpr UINT kLoadW = 0x8F02;
constexpr DWORD kInPreviewPane = 4;
constexpr int kLoads = 60;
constexpr int kGroups = 3;
constexpr int kFilesPerGroup = 2;
constexpr DWORD kPaintWaitMs = 10000;
constexpr DWORD kReadyWaitMs = 10000;
constexpr DWORD kSettleMs = 300;
constexpr wchar_t kFirstPaint[] = L"--first-paint=300";

struct Group {
    const wchar_t* name;
    const wchar_t* extension;
    const wchar_t* editor;
};
constexpr Group kGroupList[kGroups] = {{L"text", L"txt", L"notepad4.exe"},
                                       {L"notes", L"md", L"notepad3.exe"},
                                       {L"code", L"cpp", L"notepad++.exe"}};

std::wstring Mappings() {
    std::wstring text;
    for (const Group& group : kGroupList) {
        if (!text.empty()) text += L"\n";
        text +=
            std::wstring(group.name) + L"\t" + group.extension + L"\t" + standin::StandinPath(group.editor);
    }
    return text;
}

void StoreSettings(bool keepReady) {
    testhost::Store store;
    store[L"mappings"] = {4, Mappings(), 0};
    store[L"editorParams"] = {4, kFirstPaint, 0};
    store[L"maximizeStandaloneViewer"] = {0, L"", 0};
    store[L"focusEditorOnLoad"] = {0, L"", 0};
    store[L"keepEditorsReady"] = {0, L"", keepReady ? 1 : 0};
    testhost::WriteStore(store);
}

std::vector<std::wstring> MakeFiles(const std::wstring& folder) {
    std::vector<std::wstring> files;
    for (int i = 0; i < kLoads; ++i) {
        const Group& group = kGroupList[i % kGroups];
        const int index = (i / kGroups) % kFilesPerGroup;
        std::wstring path = folder + L"\\" + group.name + std::to_wstring(index) + L"." + group.extension;
        testing_support::WriteFileText(path, "velloquin bench file\r\n");
        files.push_back(path);
    }
    return files;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

double NowMs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

size_t StartCount(const standin::JournalScope& journal) {
    return standin::Events(journal.Read(), "start").size();
}

struct Run {
    std::vector<double> shownMs;        // LOADW to shown, every load
    std::vector<double> handOffCallMs;  // LOADW's own time, loads that started no editor
    int launches = 0;
    int failures = 0;
};

// Waits for the first frame of the editor the load started; 0 when none came.
ULONGLONG FirstFrameTick(const standin::JournalScope& journal, size_t startsBefore) {
    std::vector<standin::JournalEntry> starts = standin::Events(journal.Read(), "start");
    if (starts.size() <= startsBefore) return 0;
    const DWORD pid = starts.back().pid;
    if (!journal.WaitForEvent("painted", kPaintWaitMs, pid)) return 0;
    return standin::Events(journal.Read(), "painted", pid).front().tick;
}

// The editor that was handed the last file (the last WM_COPYDATA in the journal) is a visible
// window inside the viewer.
bool HandedEditorShown(const standin::JournalScope& journal, HWND viewer) {
    std::vector<standin::JournalEntry> entries = journal.Read();
    std::vector<standin::JournalEntry> copies = standin::Events(entries, "copydata");
    if (copies.empty()) return false;
    std::vector<standin::JournalEntry> windows = standin::Events(entries, "window", copies.back().pid);
    if (windows.empty()) return false;
    HWND editor = standin::WindowOf(windows.front());
    return GetAncestor(editor, GA_PARENT) == viewer &&
           (GetWindowLongPtrW(editor, GWL_STYLE) & WS_VISIBLE) != 0;
}

void LoadOne(HWND viewer, const standin::JournalScope& journal, const std::wstring& file, Run& run) {
    const size_t startsBefore = StartCount(journal);
    const ULONGLONG sent = GetTickCount64();
    const double callStart = NowMs();
    const LRESULT shown = SendMessageW(viewer, kLoadW, 0, reinterpret_cast<LPARAM>(file.c_str()));
    const double callMs = NowMs() - callStart;
    const ULONGLONG returned = GetTickCount64();
    if (!shown) ++run.failures;
    if (StartCount(journal) == startsBefore) {
        run.handOffCallMs.push_back(callMs);
        // A kept editor goes back into the viewer on a worker: shown once it is there, visible.
        if (!testing_support::WaitFor([&] { return HandedEditorShown(journal, viewer); }, kPaintWaitMs))
            ++run.failures;
        run.shownMs.push_back(NowMs() - callStart);
        return;
    }
    ++run.launches;
    const ULONGLONG painted = FirstFrameTick(journal, startsBefore);
    if (painted == 0) ++run.failures;
    run.shownMs.push_back(static_cast<double>(std::max(painted, returned) - sent));
}

struct EditorMemory {
    DWORD pid;
    bool embedded;
    SIZE_T workingSet;
};

std::vector<EditorMemory> RunningEditors(const standin::JournalScope& journal, HWND viewer) {
    std::vector<EditorMemory> editors;
    std::vector<standin::JournalEntry> entries = journal.Read();
    for (const standin::JournalEntry& window : standin::Events(entries, "window")) {
        if (!standin::ProcessRunning(window.pid)) continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, window.pid);
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof(counters);
        if (process) {
            GetProcessMemoryInfo(process, &counters, sizeof(counters));
            CloseHandle(process);
        }
        const bool embedded = GetAncestor(standin::WindowOf(window), GA_PARENT) == viewer;
        editors.push_back({window.pid, embedded, counters.WorkingSetSize});
    }
    return editors;
}

void PrintMemory(const std::vector<EditorMemory>& editors) {
    SIZE_T kept = 0;
    int keptCount = 0;
    for (const EditorMemory& editor : editors) {
        std::printf("    pid %5lu %-8s working set %7.1f MiB\n", editor.pid,
                    editor.embedded ? "embedded" : "kept",
                    static_cast<double>(editor.workingSet) / (1024.0 * 1024.0));
        if (!editor.embedded) {
            kept += editor.workingSet;
            ++keptCount;
        }
    }
    std::printf("    kept editors: %d, working sets together %.1f MiB\n", keptCount,
                static_cast<double>(kept) / (1024.0 * 1024.0));
}

Run Measure(bool keepReady, const std::vector<std::wstring>& files) {
    StoreSettings(keepReady);
    standin::JournalScope journal(keepReady ? L"bench-warm-on" : L"bench-warm-off");
    Run run;
    {
        testing_support::LoadedPlugin plugin;
        auto createViewer = plugin.Get<CreateViewerFn>("DVP_CreateViewer");
        // Shown: an editor inside a hidden window never paints.
        HWND top = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        RECT rect = {0, 0, 780, 560};
        const double createStart = NowMs();
        HWND viewer = createViewer ? createViewer(top, &rect, kInPreviewPane) : nullptr;
        const double createMs = NowMs() - createStart;
        // The host's user looks at the folder before the first file: an editor started ready has time.
        if (keepReady) testing_support::WaitFor([&] { return StartCount(journal) > 0; }, kReadyWaitMs);
        testing_support::WaitFor([] { return false; }, kSettleMs + (keepReady ? 1000u : 0u));
        std::printf("  DVP_CreateViewer %.1f ms\n", createMs);
        for (const std::wstring& file : files) {
            if (viewer) LoadOne(viewer, journal, file, run);
        }
        testing_support::PumpMessages();
        PrintMemory(RunningEditors(journal, viewer));
        if (viewer) DestroyWindow(viewer);
        DestroyWindow(top);
        testing_support::WaitFor([] { return false; }, kSettleMs);
    }
    standin::TerminateChildProcesses();
    return run;
}

void PrintRun(const char* label, const Run& run) {
    std::printf("mixed sequence, keep editors ready %s: median %.0f ms, p90 %.0f ms\n", label,
                Percentile(run.shownMs, 0.5), Percentile(run.shownMs, 0.9));
    std::printf(
        "    (%zu loads, %d launches, %d failed; hand-offs: LOADW median %.2f ms, p90 %.2f ms, max %.2f "
        "ms)\n",
        run.shownMs.size(), run.launches, run.failures, Percentile(run.handOffCallMs, 0.5),
        Percentile(run.handOffCallMs, 0.9), Percentile(run.handOffCallMs, 1.0));
}

}  // namespace

int main() {
    testing_support::UseTempFolder(testing_support::MakeTempDir(L"bench-warm"));
    testhost::Host().configFolder = testing_support::MakeTempDir(L"bench-warm-config");
    const std::vector<std::wstring> files = MakeFiles(testing_support::MakeTempDir(L"bench-warm-files"));
    std::printf("\n== Mixed sequence: %d loads over %d groups x %d files, editors %ls ==\n", kLoads, kGroups,
                kFilesPerGroup, kFirstPaint);
    std::printf(" keep editors ready off:\n");
    const Run off = Measure(false, files);
    std::printf(" keep editors ready on:\n");
    const Run on = Measure(true, files);
    PrintRun("off", off);
    PrintRun("on", on);
    const double onMedian = Percentile(on.shownMs, 0.5);
    if (onMedian > 0) std::printf("    median off / on: %.0fx\n", Percentile(off.shownMs, 0.5) / onMedian);
    return 0;
}
