// Soak of the real DLL as a host drives it, run by scripts/soak (a measurement, not a test).
// Two host threads, each with its own host window and viewer, send a mix of the host's calls:
// loads of files that every editor kind shows (stand-in editors, some started with misbehaving
// switches), loads of files no group claims, clears, identifications, viewers destroyed and
// created in the pane and stand-alone. Every 100 operations both threads stop with their viewers
// destroyed, the DLL is unloaded and loaded again, and the program prints what the process holds
// (handles by type, heap blocks and bytes, the lowest free TLS slot), the stand-in editors still
// running and their windows on the desktop, the log's size, and the longest time a message posted
// to a host window waited. At the end: the slope of each after the warm-up, next to its aim.
//
// Usage: dopus.exe [--ops=N] [--switches=K]   (default 2700 operations, whole hundreds; K: every
// round starts the stand-ins with the K-th set of switches below, from 0, instead of each in turn)

#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/handles.h"
#include "host/test_host.h"
#include "support/process_resources.h"
#include "support/standin_journal.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

using IdentifyFileFn = BOOL(WINAPI*)(HWND, LPWSTR, void*, HANDLE);
using CreateViewerFn = HWND(WINAPI*)(HWND, LPRECT, DWORD);

constexpr UINT kLoadW = 0x8F02;
constexpr UINT kClear = 0x8F1B;
constexpr DWORD kInPane = 4;
constexpr DWORD kStandalone = 0;
constexpr UINT kProbeMessage = WM_APP + 7;
constexpr DWORD kProbePeriodMs = 50;
constexpr int kOpsPerRound = 100;
constexpr int kHostThreads = 2;
constexpr int kDefaultOps = 2700;  // three turns of the switches: about 5-10 minutes here
constexpr int kWarmUpRounds = 2;
constexpr DWORD kRoundWaitMs = 180000;
constexpr DWORD kEditorsEndWaitMs = 10000;
// Stand-ins end themselves after this long, so a soak that is stopped leaves nothing for long.
constexpr wchar_t kLifetime[] = L"--lifetime=60000";
constexpr ULONGLONG kTimeBudgetMs = 12 * 60 * 1000;
constexpr double kPostedWaitAimMs = 250;

struct EditorKind {
    const wchar_t* extension;
    const wchar_t* exe;
};
const EditorKind kKinds[] = {{L"txt", L"notepad3.exe"}, {L"log", L"notepad4.exe"},
                             {L"md", L"notepad++.exe"}, {L"ini", L"everedit.exe"},
                             {L"cfg", L"emeditor.exe"}, {L"xml", L"otheredit.exe"}};
constexpr int kKindCount = sizeof(kKinds) / sizeof(kKinds[0]);

// Misbehaviour of every stand-in for one round: late or busy starts, a decoy window first, a slow
// first paint or exit, an editor that exits at once, one that refuses WM_COPYDATA, one that stops
// answering the modified question (Notepad3/4 hand-offs time out), one with unsaved changes (given
// back to the desktop by design: the soak then plays the user and ends it).
struct RoundSwitches {
    const wchar_t* arguments;
    bool editorsGivenBack;
};
const RoundSwitches kSwitches[] = {{L"", false},
                                   {L"--late=300", false},
                                   {L"--decoy=splash", false},
                                   {L"--busy=200 --first-paint=200", false},
                                   {L"--slow-exit=300", false},
                                   {L"--copydata-zero", false},
                                   {L"--exit=3", false},
                                   {L"--unsaved", true},
                                   {L"--hang=2159 --hang-skip=3", false}};
constexpr int kSwitchCount = sizeof(kSwitches) / sizeof(kSwitches[0]);
int fixedSwitches = -1;  // --switches=K

const RoundSwitches& SwitchesOfRound(int round) {
    return kSwitches[fixedSwitches >= 0 ? fixedSwitches : round % kSwitchCount];
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

// ---- The plug-in, loaded again every round ----

struct Plugin {
    HMODULE module = nullptr;
    IdentifyFileFn identifyFile = nullptr;
    CreateViewerFn createViewer = nullptr;
};
Plugin plugin;

bool LoadPlugin() {
    plugin.module = LoadLibraryW(DllPath().c_str());
    if (!plugin.module) return false;
    plugin.identifyFile = reinterpret_cast<IdentifyFileFn>(
        reinterpret_cast<void*>(GetProcAddress(plugin.module, "DVP_IdentifyFileW")));
    plugin.createViewer = reinterpret_cast<CreateViewerFn>(
        reinterpret_cast<void*>(GetProcAddress(plugin.module, "DVP_CreateViewer")));
    return plugin.identifyFile && plugin.createViewer;
}

void UnloadPlugin() {
    FreeLibrary(plugin.module);
    plugin = Plugin{};
}

// ---- Settings: every kind in one table, the round's switches as the editor parameters ----

std::wstring Mappings() {
    std::wstring text;
    for (const EditorKind& kind : kKinds) {
        text +=
            std::wstring(kind.exe) + L"\t" + kind.extension + L"\t" + standin::StandinPath(kind.exe) + L"\n";
    }
    return text;
}

void StoreSettings(const std::wstring& editorParams) {
    testhost::Store store;
    store[L"mappings"] = {4, Mappings(), 0};
    store[L"editorParams"] = {4, editorParams, 0};
    store[L"maximizeStandaloneViewer"] = {0, L"", 0};
    store[L"focusEditorOnLoad"] = {0, L"", 0};
    testhost::WriteStore(store);
}

// ---- The posted-message probe: how long a message posted to a host window waits ----

std::atomic<long long> longestPostedWaitUs{0};
// A stall of a host thread: its probes, handled at once when it ends, waited less and less. One
// stall is counted where a window's probe waits over kStallUs after one that did not.
constexpr long long kStallUs = 1000000;
std::atomic<int> stalls{0};
thread_local long long previousWaitUs = 0;

void RecordPostedWait(WPARAM postedAtUs) {
    const long long waited = static_cast<long long>(NowMs() * 1000.0) - static_cast<long long>(postedAtUs);
    long long longest = longestPostedWaitUs.load();
    while (waited > longest && !longestPostedWaitUs.compare_exchange_weak(longest, waited)) {
    }
    if (waited > kStallUs && previousWaitUs <= kStallUs) ++stalls;
    previousWaitUs = waited;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == kProbeMessage) {
        RecordPostedWait(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateHostWindow(int index) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VelloquinSoakHost";
    RegisterClassW(&windowClass);  // the second thread's call fails harmlessly
    return CreateWindowExW(0, windowClass.lpszClassName, L"soak host", WS_POPUP | WS_BORDER | WS_VISIBLE,
                           40 + 420 * index, 40, 400, 320, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

// ---- The files: real ones, since a file that does not exist is not handed to an editor ----

std::wstring soakFolder;

std::wstring SoakFile(int thread, int kind, bool other) {
    return soakFolder + L"\\" + std::to_wstring(thread) + (other ? L"b." : L"a.") + kKinds[kind].extension;
}

void MakeSoakFiles() {
    std::vector<std::wstring> files;
    for (int thread = 0; thread < kHostThreads; ++thread) {
        for (int kind = 0; kind < kKindCount; ++kind) {
            files.push_back(SoakFile(thread, kind, false));
            files.push_back(SoakFile(thread, kind, true));
        }
    }
    files.push_back(soakFolder + L"\\unclaimed.zzz");
    EnsureFiles(files);
}

// ---- One host thread ----

struct RoundSync {
    HANDLE roundDone[kHostThreads] = {};  // auto-reset, set by each thread at the end of its round
    HANDLE nextRound = nullptr;           // manual-reset, pulsed by the main thread
    std::atomic<int> round{0};
    std::atomic<bool> stop{false};
};

struct OpCounts {
    int loads = 0, unclaimed = 0, clears = 0, identifies = 0, viewersCreated = 0, standalone = 0;
};

class HostThread {
   public:
    HostThread(int index, RoundSync& sync, int opsPerRound)
        : index_(index), sync_(sync), opsPerRound_(opsPerRound), random_(0x9E3779B9u * (index + 1)) {}

    void Run() {
        host_ = CreateHostWindow(index_);
        window_.store(host_);
        for (int round = 0; !sync_.stop.load(); ++round) {
            for (int op = 0; op < opsPerRound_; ++op) {
                RunOneOperation();
                PumpMessages();
            }
            DestroyViewer();
            SetEvent(sync_.roundDone[index_]);
            WaitForNextRound(round + 1);
        }
        DestroyWindow(host_);
        window_.store(nullptr);
    }

    HWND window() const { return window_.load(); }
    const OpCounts& counts() const { return counts_; }

   private:
    uint32_t Next(uint32_t bound) {
        random_ = random_ * 1664525u + 1013904223u;
        return (random_ >> 8) % bound;
    }

    std::wstring FileOf(int kind, bool other) const { return SoakFile(index_, kind, other); }

    void EnsureViewer(DWORD flags) {
        if (viewer_ && IsWindow(viewer_)) return;
        viewer_ = plugin.createViewer(host_, nullptr, flags);
        ++counts_.viewersCreated;
        if (flags == kStandalone) ++counts_.standalone;
    }

    void DestroyViewer() {
        if (viewer_ && IsWindow(viewer_)) DestroyWindow(viewer_);
        viewer_ = nullptr;
    }

    // The next file is of the same kind half of the time, so that hand-offs and launches mix.
    void LoadOneFile() {
        if (Next(2) == 0) kind_ = static_cast<int>(Next(kKindCount));
        other_ = !other_;
        const std::wstring file = FileOf(kind_, other_);
        SendMessageW(viewer_, kLoadW, 0, reinterpret_cast<LPARAM>(file.c_str()));
        ++counts_.loads;
    }

    void RunOneOperation() {
        const uint32_t choice = Next(100);
        if (!viewer_ || !IsWindow(viewer_) || choice < 8) {
            DestroyViewer();
            EnsureViewer(Next(4) == 0 ? kStandalone : kInPane);
        } else if (choice < 63) {
            LoadOneFile();
        } else if (choice < 73) {
            const std::wstring file = soakFolder + L"\\unclaimed.zzz";
            SendMessageW(viewer_, kLoadW, 0, reinterpret_cast<LPARAM>(file.c_str()));
            ++counts_.unclaimed;
        } else if (choice < 85) {
            SendMessageW(viewer_, kClear, 0, 0);
            ++counts_.clears;
        } else {
            std::wstring file = FileOf(static_cast<int>(Next(kKindCount)), false);
            uint8_t fileInfo[104] = {};
            plugin.identifyFile(nullptr, &file[0], fileInfo, nullptr);
            ++counts_.identifies;
        }
    }

    // Reads its messages (the probe's too) while the main thread measures and reloads the DLL.
    void WaitForNextRound(int round) {
        const ULONGLONG start = GetTickCount64();
        while (sync_.round.load() < round && !sync_.stop.load() && GetTickCount64() - start < kRoundWaitMs) {
            MsgWaitForMultipleObjects(1, &sync_.nextRound, FALSE, 20, QS_ALLINPUT);
            PumpMessages();
        }
    }

    int index_;
    RoundSync& sync_;
    int opsPerRound_;
    uint32_t random_;
    HWND host_ = nullptr;
    std::atomic<HWND> window_{nullptr};
    HWND viewer_ = nullptr;
    int kind_ = 0;
    bool other_ = false;
    OpCounts counts_;
};

// ---- What is measured after each round ----

// The soak's own records must not grow the heap it measures: the figures of a round are kept in
// fixed arrays, the type names once, and the list of rounds is reserved before the first.
std::vector<std::wstring> handleTypeNames;

struct ResourceFigures {
    DWORD tlsSlot = 0;
    size_t handles = 0;
    size_t heapBlocks = 0;
    size_t heapBytes = 0;
    size_t handlesOfType[kMaxHandleTypes] = {};
};

size_t HandleTypeIndex(const std::wstring& name) {
    for (size_t i = 0; i < handleTypeNames.size(); ++i) {
        if (handleTypeNames[i] == name) return i;
    }
    if (handleTypeNames.size() == kMaxHandleTypes) return kMaxHandleTypes - 1;
    handleTypeNames.push_back(name);
    return handleTypeNames.size() - 1;
}

ResourceFigures CountResources() {
    static testing_support::ProcessResources counted;  // large: not on the stack
    counted = CountProcessResources();
    ResourceFigures figures;
    figures.tlsSlot = counted.tlsSlot;
    figures.handles = counted.handles;
    figures.heapBlocks = counted.heapBlocks;
    figures.heapBytes = counted.heapBytes;
    for (size_t i = 0; i < counted.handleTypeCount; ++i)
        figures.handlesOfType[HandleTypeIndex(counted.handleTypes[i].name)] = counted.handleTypes[i].count;
    return figures;
}

struct Sample {
    ResourceFigures resources;
    int editorProcesses = 0;
    int editorWindowsOnDesktop = 0;
    long long logBytes = 0;
    double longestPostedWaitMs = 0;
    int stalls = 0;                 // host threads' stalls of over 1 s (probes that waited longer)
    int genericLaunches = 0;        // WaitForInputIdle calls in the round (Wine leaves an event behind each)
    int drops = 0;                  // file drops posted in the round (Wine leaves the block in our heap)
    bool editorsGivenBack = false;  // the round's editors had unsaved changes: left to ask the user
};

std::set<DWORD> StandinProcesses() {
    std::set<DWORD> pids;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE) return pids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID != GetCurrentProcessId()) continue;
        for (const EditorKind& kind : kKinds) {
            if (_wcsicmp(entry.szExeFile, kind.exe) == 0) pids.insert(entry.th32ProcessID);
        }
    }
    return pids;
}

struct DesktopSearch {
    const std::set<DWORD>* pids;
    int windows;
};

BOOL CALLBACK CountEditorWindow(HWND window, LPARAM search) noexcept {
    auto* found = reinterpret_cast<DesktopSearch*>(search);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (found->pids->count(pid) && IsWindowVisible(window)) ++found->windows;
    return TRUE;
}

int EditorWindowsOnDesktop(const std::set<DWORD>& pids) {
    DesktopSearch search{&pids, 0};
    EnumWindows(CountEditorWindow, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The log's growth, across rotations, and the entries written since the last look.
class LogReader {
   public:
    explicit LogReader(std::wstring path) : path_(std::move(path)) {}
    std::vector<std::wstring> NewEntries(long long& totalBytes) {
        const long long size = FileSize(path_);
        if (size < offset_) {
            total_ += FileSize(path_ + L".1") - offset_;  // rotated: the rest went to .1
            offset_ = 0;
        }
        std::vector<uint8_t> bytes = ReadFileBytes(path_);
        std::wstring text;
        for (size_t at = static_cast<size_t>(offset_); at + 1 < bytes.size(); at += 2)
            text += static_cast<wchar_t>(bytes[at] | (bytes[at + 1] << 8));
        total_ += static_cast<long long>(bytes.size()) - offset_;
        offset_ = static_cast<long long>(bytes.size());
        totalBytes = total_;
        std::vector<std::wstring> lines;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find(L"\r\n", start);
            if (end == std::wstring::npos) end = text.size();
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

   private:
    std::wstring path_;
    long long offset_ = 0;
    long long total_ = 0;
};

int CountContaining(const std::vector<std::wstring>& lines, const wchar_t* part) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [part](const std::wstring& l) {
        return l.find(part) != std::wstring::npos;
    }));
}

Sample Measure(LogReader& log, bool editorsGivenBack) {
    Sample sample;
    sample.editorsGivenBack = editorsGivenBack;
    // Editors asked to close get the time the plug-in gives them; the measure counts what stays.
    WaitFor([] { return StandinProcesses().empty(); }, kEditorsEndWaitMs);
    const std::set<DWORD> editors = StandinProcesses();
    sample.editorProcesses = static_cast<int>(editors.size());
    sample.editorWindowsOnDesktop = EditorWindowsOnDesktop(editors);
    const std::vector<std::wstring> lines = log.NewEntries(sample.logBytes);
    sample.genericLaunches = CountContaining(lines, L"WaitForInputIdle returned");
    sample.drops = CountContaining(lines, L"anyOk=1");
    sample.longestPostedWaitMs = static_cast<double>(longestPostedWaitUs.exchange(0)) / 1000.0;
    sample.stalls = stalls.exchange(0);
    sample.resources = CountResources();
    return sample;
}

// ---- Output ----

size_t HandlesOf(const Sample& s, size_t type) {
    return s.resources.handlesOfType[type];
}

void PrintRound(int round, int operations, const Sample& s, double seconds) {
    std::printf("after %4d ops (%5.0f s): handles %zu [", operations, seconds, s.resources.handles);
    for (size_t type = 0; type < handleTypeNames.size(); ++type)
        std::printf("%s%ls %zu", type ? ", " : "", handleTypeNames[type].c_str(), HandlesOf(s, type));
    std::printf(
        "]  heap %zu blocks %zu bytes  TLS slot %lu  editors %d (windows on desktop %d)  log %lld bytes  "
        "longest posted wait %.0f ms, stalls over 1 s %d  (round %d: %d generic launches, %d drops%s)\n",
        s.resources.heapBlocks, s.resources.heapBytes, s.resources.tlsSlot, s.editorProcesses,
        s.editorWindowsOnDesktop, s.logBytes, s.longestPostedWaitMs, s.stalls, round, s.genericLaunches,
        s.drops, s.editorsGivenBack ? "; unsaved editors given back, then ended by the soak" : "");
    std::fflush(stdout);
}

// Least-squares slope per 100 operations (one sample per round of 100) after the warm-up; rounds
// whose editors were given back by design are left out when skipGivenBack is set.
template <typename Value>
double Slope(const std::vector<Sample>& samples, Value value, bool skipGivenBack = false) {
    const size_t first = std::min<size_t>(kWarmUpRounds, samples.size() > 1 ? samples.size() - 2 : 0);
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = first; i < samples.size(); ++i) {
        if (skipGivenBack && samples[i].editorsGivenBack) continue;
        const double x = static_cast<double>(i);
        const double y = static_cast<double>(value(samples[i]));
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double d = n * sxx - sx * sx;
    return d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

template <typename Value>
double Mean(const std::vector<Sample>& samples, Value value) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = std::min<size_t>(kWarmUpRounds, samples.size()); i < samples.size(); ++i, ++n)
        sum += static_cast<double>(value(samples[i]));
    return n ? sum / static_cast<double>(n) : 0;
}

void PrintSlope(const char* name, double slope, double aim, const char* aimText) {
    std::printf("  %-28s %+9.1f per 100 ops   aim %-40s %s\n", name, slope, aimText,
                slope <= aim * 1.15 + 0.5 ? "ok" : "ABOVE AIM");
}

void PrintSlopes(const std::vector<Sample>& samples) {
    if (samples.size() < static_cast<size_t>(kWarmUpRounds) + 2) {
        std::printf("too few rounds for slopes\n");
        return;
    }
    std::printf("\nSlopes after the warm-up (%d rounds of 100 ops), least squares:\n", kWarmUpRounds);
    const double generic = Mean(samples, [](const Sample& s) { return s.genericLaunches; });
    const double drops = Mean(samples, [](const Sample& s) { return s.drops; });
    char aim[96];
    for (size_t type = 0; type < handleTypeNames.size(); ++type) {
        const double slope = Slope(samples, [&](const Sample& s) { return HandlesOf(s, type); });
        char name[64];
        std::snprintf(name, sizeof name, "handles %ls", handleTypeNames[type].c_str());
        const bool isEvent = handleTypeNames[type] == L"Event";
        std::snprintf(aim, sizeof aim, isEvent ? "<= %.1f (Wine: 1 per generic launch)" : "0", generic);
        PrintSlope(name, slope, isEvent ? generic : 0, aim);
    }
    PrintSlope("handles, all", Slope(samples, [](const Sample& s) { return s.resources.handles; }), generic,
               "<= generic launches (Event above)");
    PrintSlope("heap blocks", Slope(samples, [](const Sample& s) { return s.resources.heapBlocks; }), drops,
               "<= file drops (Wine keeps each drop block)");
    std::snprintf(aim, sizeof aim, "<= %.0f (about 103 bytes per drop, Wine)", 110 * drops);
    PrintSlope("heap bytes", Slope(samples, [](const Sample& s) { return s.resources.heapBytes; }),
               110 * drops, aim);
    PrintSlope("lowest free TLS slot", Slope(samples, [](const Sample& s) { return s.resources.tlsSlot; }), 0,
               "0");
    PrintSlope("editor processes",
               Slope(
                   samples, [](const Sample& s) { return s.editorProcesses; }, true),
               0, "0 (rounds of unsaved editors left out)");
    PrintSlope("editor windows on desktop",
               Slope(
                   samples, [](const Sample& s) { return s.editorWindowsOnDesktop; }, true),
               0, "0");
    std::printf("  %-28s %+9.0f per 100 ops   (the log's own growth; it rotates at 8 MiB)\n", "log bytes",
                Slope(samples, [](const Sample& s) { return s.logBytes; }));
    double longest = 0;
    int stallCount = 0;
    int leftEditors = 0;
    for (size_t i = kWarmUpRounds; i < samples.size(); ++i) {
        longest = std::max(longest, samples[i].longestPostedWaitMs);
        stallCount += samples[i].stalls;
        if (!samples[i].editorsGivenBack) leftEditors = std::max(leftEditors, samples[i].editorProcesses);
    }
    std::printf("  %-28s %9.0f ms            aim <= %.0f ms %34s %s\n", "longest posted-message wait",
                longest, kPostedWaitAimMs, "", longest <= kPostedWaitAimMs ? "ok" : "ABOVE AIM");
    std::printf("  %-28s %9d                aim 0 %43s %s\n", "host stalls over 1 s", stallCount, "",
                stallCount == 0 ? "ok" : "ABOVE AIM");
    std::printf("  %-28s %9d                aim 0 %43s %s\n", "editors left after a round", leftEditors, "",
                leftEditors == 0 ? "ok" : "ABOVE AIM");
    std::printf("  per 100 ops: %.1f generic launches, %.1f file drops\n", generic, drops);
}

// ---- The run ----

int OperationsFromArguments(int argc, char** argv) {
    int ops = kDefaultOps;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--ops=", 6) == 0) ops = std::atoi(argv[i] + 6);
        if (std::strncmp(argv[i], "--switches=", 11) == 0)
            fixedSwitches = std::min(std::max(std::atoi(argv[i] + 11), 0), kSwitchCount - 1);
    }
    return std::max(kOpsPerRound * (kWarmUpRounds + 2), ops / kOpsPerRound * kOpsPerRound);
}

void Probe(const std::vector<HostThread*>& threads, const std::atomic<bool>& stop) {
    while (!stop.load()) {
        for (HostThread* thread : threads) {
            if (HWND window = thread->window()) {
                PostMessageW(window, kProbeMessage, static_cast<WPARAM>(NowMs() * 1000.0), 0);
            }
        }
        Sleep(kProbePeriodMs);  // the probe's period, not a wait for a condition
    }
}

void PrintTotals(const std::vector<HostThread*>& threads) {
    OpCounts total;
    for (const HostThread* thread : threads) {
        const OpCounts& c = thread->counts();
        total.loads += c.loads;
        total.unclaimed += c.unclaimed;
        total.clears += c.clears;
        total.identifies += c.identifies;
        total.viewersCreated += c.viewersCreated;
        total.standalone += c.standalone;
    }
    std::printf(
        "operations: %d loads of editor files, %d of unclaimed files, %d clears, %d identifications, "
        "%d viewers created (%d stand-alone)\n",
        total.loads, total.unclaimed, total.clears, total.identifies, total.viewersCreated, total.standalone);
}

}  // namespace

int main(int argc, char** argv) {
    const int operations = OperationsFromArguments(argc, argv);
    const int rounds = operations / kOpsPerRound;
    const std::wstring folder = MakeTempDir(L"soak");
    UseTempFolder(folder);
    soakFolder = MakeTempDir(L"soak-files");
    MakeSoakFiles();
    testhost::Host().configFolder = folder;
    testhost::ResetHost();
    // The host keeps the system libraries the plug-in imports loaded (as Directory Opus does), so that
    // a reload does not count Wine's own leftovers of loading them again.
    for (const wchar_t* library : {L"comdlg32.dll", L"comctl32.dll", L"shell32.dll"}) LoadLibraryW(library);
    StoreSettings(std::wstring(SwitchesOfRound(0).arguments) + L" " + kLifetime);
    if (!LoadPlugin()) {
        std::printf("velloquin.dll did not load from %ls\n", DllPath().c_str());
        return 1;
    }
    std::printf("Soak: %d operations from %d host threads, the DLL reloaded every %d; stand-ins %ls\n",
                operations, kHostThreads, kOpsPerRound, kLifetime);

    RoundSync sync;
    for (HANDLE& done : sync.roundDone) done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    sync.nextRound = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HostThread first(0, sync, kOpsPerRound / kHostThreads);
    HostThread second(1, sync, kOpsPerRound / kHostThreads);
    std::vector<HostThread*> threads{&first, &second};
    std::atomic<bool> stopProbe{false};
    std::thread probe(Probe, threads, std::cref(stopProbe));
    std::thread a([&] { first.Run(); });
    std::thread b([&] { second.Run(); });

    LogReader log(folder + L"\\velloquin.log");
    std::vector<Sample> samples;
    samples.reserve(static_cast<size_t>(rounds));
    handleTypeNames.reserve(kMaxHandleTypes);
    const ULONGLONG start = GetTickCount64();
    bool timedOut = false;
    for (int round = 0; round < rounds; ++round) {
        WaitForMultipleObjects(kHostThreads, sync.roundDone, TRUE, kRoundWaitMs);
        UnloadPlugin();
        const RoundSwitches& ran = SwitchesOfRound(round);
        StoreSettings(std::wstring(SwitchesOfRound(round + 1).arguments) + L" " + kLifetime);
        LoadPlugin();
        samples.push_back(Measure(log, ran.editorsGivenBack));
        // The user's answer to the editors given back with unsaved changes.
        if (ran.editorsGivenBack) standin::TerminateChildProcesses();
        PrintRound(round, (round + 1) * kOpsPerRound, samples.back(),
                   static_cast<double>(GetTickCount64() - start) / 1000.0);
        const bool last = round + 1 == rounds;
        timedOut = !last && GetTickCount64() - start > kTimeBudgetMs;
        if (last || timedOut) sync.stop = true;
        sync.round = round + 1;
        SetEvent(sync.nextRound);
        ResetEvent(sync.nextRound);
        if (timedOut) break;
    }
    a.join();
    b.join();
    stopProbe = true;
    probe.join();
    if (timedOut) std::printf("stopped early: past the time budget of %llu s\n", kTimeBudgetMs / 1000);
    PrintTotals(threads);
    PrintSlopes(samples);
    UnloadPlugin();
    for (HANDLE done : sync.roundDone) CloseHandle(done);
    CloseHandle(sync.nextRound);
    standin::TerminateChildProcesses();
    return 0;
}
