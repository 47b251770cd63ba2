// Timing under Wine with the stand-in editors (a measurement, not a test):
//   hand-off latency per kind: LoadFile on a reused editor, from call to return;
//   launch overhead per capture path: LaunchAndEmbed's time beyond the stand-in's own time from
//     process creation to its main window existing (both on the shared tick clock);
//   KillChild for a cooperative editor (one that closes on WM_CLOSE).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/window_data.h"
#include "config/config_lock.h"
#include "config/plugin_config.h"
#include "editors/editor_kind.h"
#include "embed/child_window.h"
#include "embed/editor_messages.h"
#include "embed/launch.h"
#include "log/log.h"
#include "support/standin_journal.h"
#include "support/test_support.h"
#include "viewer/handoff.h"
#include "viewer/handoff_records.h"
#include "viewer/load_file.h"

namespace {

constexpr int kHandOffWarmup = 20;
constexpr int kHandOffRuns = 300;
constexpr int kLaunchRuns = 15;
constexpr DWORD kJournalWaitMs = 5000;
constexpr int kStepRuns = 200;
constexpr UINT kSciGetModify = 2159;
constexpr UINT kSciSetSavePoint = 2014;

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

long long LogBytes() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const wchar_t* path = LogFilePath();
    if (!*path || !GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Median of kStepRuns calls of step, in microseconds.
template <typename Step>
double StepMicroseconds(Step step) {
    std::vector<double> times;
    for (int i = 0; i < kStepRuns; ++i) {
        const double start = Now();
        step();
        times.push_back(1000.0 * (Now() - start));
    }
    return Percentile(times, 0.5);
}

struct Step {
    const char* name;
    std::function<void()> run;
};

// What one hand-off is made of: the calls LoadFile makes for this kind, replayed one by one against
// the same embedded editor, each timed alone (medians over kStepRuns rounds), next to the total.
void HandOffBreakdown(HWND viewer, ViewerState& state, const wchar_t* editorName) {
    HWND editor = state.editor.window;
    HWND scintilla = FindWindowExW(editor, nullptr, L"Scintilla", nullptr);
    const EditorKind kind = DetectEditorKind(state.editor.path);
    const std::wstring file = BenchFile(1);
    wchar_t text[1024];
    std::vector<uint8_t> record;
    COPYDATASTRUCT data{};
    std::vector<Step> steps{
        {"log", [&] { LogPrintf(L"[LoadFile] filePath=[%ls]", file.c_str()); }},
        {"settings",
         [&] {
             ConfigLockGuard lock;
             pluginConfig.FindViewerForFile(file.c_str());
         }},
        {"IsWindow", [&] { IsWindow(editor); }},
        {"FindWindowEx", [&] { FindWindowExW(editor, nullptr, L"Scintilla", nullptr); }},
        {"GetClassName", [&] { GetClassNameW(editor, text, 64); }},
        {"title", [&] { InternalGetWindowText(editor, text, 1024); }},
        {"pid",
         [&] {
             DWORD pid = 0;
             GetWindowThreadProcessId(editor, &pid);
         }},
        {"send WM_NULL", [&] { SendToEditor(editor, WM_NULL, 0, 0); }},
        {"SendMessage WM_NULL", [&] { SendMessageW(editor, WM_NULL, 0, 0); }},
    };
    if (scintilla) {
        steps.push_back({"send SCI_GETMODIFY", [&] { SendToEditor(scintilla, kSciGetModify, 0, 0); }});
        steps.push_back({"send SCI_SETSAVEPOINT", [&] { SendToEditor(scintilla, kSciSetSavePoint, 0, 0); }});
    }
    if (kind == EditorKind::Notepad3 || kind == EditorKind::Notepad4) {
        steps.push_back(
            {"send WM_COPYDATA", [&] {
                 record = BuildNotepadParamRecord(
                     file, kind == EditorKind::Notepad3 ? NotepadFamily::Notepad3 : NotepadFamily::Notepad4);
                 data = {kNotepadParamsCopyDataId, static_cast<DWORD>(record.size()), record.data()};
                 SendToEditor(editor, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
             }});
        steps.push_back({"HandFileToNotepad",
                         [&] {
                             EditorFileForms forms(*state.editor.profile, file);
                             HandFileToNotepad(editor, forms);
                         }});
    }
    if (kind == EditorKind::NotepadPlusPlus)
        steps.push_back({"HandFileToNotepadPP", [&] { HandFileToNotepadPP(state, file.c_str()); }});
    if (kind == EditorKind::EmEditor)
        steps.push_back({"SendFileToEmEditor", [&] { SendFileToEmEditor(editor, file.c_str()); }});
    if (kind == EditorKind::EverEdit || kind == EditorKind::Other)
        steps.push_back({"SendFileByDrop", [&] { SendFileByDrop(editor, file.c_str()); }});
    steps.push_back({"LoadFile", [&] { LoadFile(viewer, state, file.c_str()); }});
    std::vector<std::vector<double>> times(steps.size());
    for (int round = 0; round < kStepRuns; ++round) {
        for (size_t i = 0; i < steps.size(); ++i) {
            const double start = Now();
            steps[i].run();
            times[i].push_back(1000.0 * (Now() - start));
        }
        testing_support::PumpMessages();
    }
    std::printf("    steps, median us:");
    for (size_t i = 0; i < steps.size(); ++i)
        std::printf("  %s %.0f", steps[i].name, Percentile(times[i], 0.5));
    std::printf("\n");
    (void)editorName;
}

void LogInternals() {
    const std::wstring path = testing_support::MakeTempDir(L"bench-log-steps") + L"\\steps.log";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const wchar_t line[] =
        L"[2026-12-07 17:00:00.000] [LoadFile] filePath=[C:\\velloquin-bench\\file1.txt]\r\n";
    FILE_STANDARD_INFO info{};
    WIN32_FILE_ATTRIBUTE_DATA named{};
    SYSTEMTIME now{};
    wchar_t formatted[2048];
    std::printf(
        "  log entry parts (median us): GetLocalTime %.1f  GetTickCount64 %.1f  format %.1f  WriteFile %.1f"
        "  handle info %.1f  path attributes %.1f\n",
        StepMicroseconds([&] { GetLocalTime(&now); }), StepMicroseconds([&] { GetTickCount64(); }),
        StepMicroseconds([&] {
            swprintf(formatted, 2048, L"[LoadFile] filePath=[%ls] 0x%016llX err=%lu", path.c_str(), 0x1234ull,
                     5ul);
        }),
        StepMicroseconds([&] {
            DWORD written = 0;
            WriteFile(file, line, sizeof(line) - sizeof(wchar_t), &written, nullptr);
        }),
        StepMicroseconds([&] { GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof(info)); }),
        StepMicroseconds([&] { GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &named); }));
    CloseHandle(file);
}

void HandOffLatency(HWND viewer, ViewerState& state, const wchar_t* editorName) {
    MapTextFilesTo(standin::StandinPath(editorName), L"--no-paint");
    EnsureBenchFiles();
    if (!LoadFile(viewer, state, BenchFile(0).c_str())) {
        std::printf("  %-14ls launch failed, no figures\n", editorName);
        return;
    }
    std::vector<double> times;
    long long logBytes = 0;
    for (int i = 1; i <= kHandOffWarmup + kHandOffRuns; ++i) {
        const std::wstring file = BenchFile(i);
        const long long logBefore = LogBytes();
        const double start = Now();
        const bool shown = LoadFile(viewer, state, file.c_str());
        const double elapsed = Now() - start;
        if (!shown) std::printf("  %-14ls hand-off %d failed\n", editorName, i);
        if (i > kHandOffWarmup) {
            times.push_back(elapsed);
            logBytes += LogBytes() - logBefore;
        }
        testing_support::PumpMessages();
    }
    std::printf("  %-14ls median %7.3f ms   p99 %7.3f ms   log %lld bytes per hand-off   (n=%zu)\n",
                editorName, Percentile(times, 0.5), Percentile(times, 0.99),
                logBytes / static_cast<long long>(times.size()), times.size());
    HandOffBreakdown(viewer, state, editorName);
    ClearViewer(viewer, state);
}

// A Notepad++ that ignores WM_COPYDATA from other programs (its sender check): the per-file cost of
// the files after the first, to set against the non-checking build's hand-off above.
void CheckingNotepadPPHandOff(HWND viewer, ViewerState& state) {
    constexpr int kCheckingRuns = 100;
    MapTextFilesTo(standin::StandinCopy(L"notepad++.exe"), L"--sender-check --no-paint");
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
    const DWORD pid = state.editor.processId;
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
        LogInternals();
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
