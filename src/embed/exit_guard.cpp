#include "embed/exit_guard.h"

#include <atomic>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "common/deadline.h"
#include "common/module_instance.h"
#include "common/window_data.h"
#include "editor_settings/put_back.h"
#include "editors/editor_profile.h"
#include "embed/bounded_wait.h"
#include "embed/editor_messages.h"
#include "embed/editor_process.h"
#include "log/log.h"

namespace {

constexpr size_t kMaxGuardedEditors = 32;
// The guard wakes this often while its host runs, only to wait again.
constexpr DWORD kGuardWakeMs = 60000;
// After the host's exit signal, how long the guard waits for the host to end before it looks at
// the editors that did not answer in time.
constexpr DWORD kHostEndWaitMs = 30000;
// The calls that give an answering editor back, after its probe.
constexpr DWORD kGiveBackCallsMs = 500;
// How long each editor may take to answer while the host's exit waits: the guard reports before
// the host stops waiting for it.
constexpr DWORD kExitAnswerMs = kExitHandOverMs - kGiveBackCallsMs - 300;
// Once its host has ended, an editor that did not answer or had no window is probed this long.
constexpr DWORD kAfterHostProbeMs = 250;
// How long an editor whose window went with its host's may take to end by itself (saving its
// settings) before it is ended.
constexpr DWORD kWindowlessGraceMs = 5000;

// The handles are the guard's own: duplicated into it before it runs, so that they outlive a host
// killed before the guard got as far as opening anything.
struct GuardArea {
    ULONGLONG host, exiting, done, standDown;
    DWORD count;
    GuardedEditor editors[kMaxGuardedEditors];
};

// The host's side: lives from the first editor of a load until the unload.
struct GuardLink {
    UniqueHandle mapping;
    GuardArea* area = nullptr;
    UniqueHandle exiting;    // set by the host's process exit
    UniqueHandle done;       // set by the guard once it has given back what answered
    UniqueHandle standDown;  // set at unload
    UniqueHandle guardProcess;
    ~GuardLink() {
        if (area) UnmapViewOfFile(area);
    }
};

INIT_ONCE guardOnce = INIT_ONCE_STATIC_INIT;
std::atomic<GuardLink*> guardLink{nullptr};

std::wstring ObjectName(DWORD hostProcessId, const std::wstring& stamp, const wchar_t* what) {
    return L"Local\\velloquin-exit-guard-" + std::to_wstring(hostProcessId) + L"-" + stamp + L"-" + what;
}

bool CreateLinkObjects(GuardLink& link, const std::wstring& stamp) {
    link.mapping.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(GuardArea),
                                          ObjectName(GetCurrentProcessId(), stamp, L"editors").c_str()));
    if (!link.mapping) return false;
    link.area = static_cast<GuardArea*>(MapViewOfFile(link.mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(GuardArea)));
    link.exiting.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    link.done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    link.standDown.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return link.area && link.exiting && link.done && link.standDown;
}

// The guard's own copy of handle, as a number it reads from the area; 0 when it could not be made.
ULONGLONG GiveToGuard(HANDLE guard, HANDLE handle, DWORD access) {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, guard, &copy, access, FALSE, 0)) return 0;
    return static_cast<ULONGLONG>(reinterpret_cast<UINT_PTR>(copy));
}

bool GiveLinkToGuard(GuardLink& link, HANDLE guard) {
    HANDLE self = GetCurrentProcess();
    HANDLE mappingCopy = nullptr;
    // Keeps the area, and its name, while the guard runs.
    if (!DuplicateHandle(self, link.mapping.get(), guard, &mappingCopy, FILE_MAP_READ, FALSE, 0)) return false;
    link.area->host = GiveToGuard(guard, self, SYNCHRONIZE);
    link.area->exiting = GiveToGuard(guard, link.exiting.get(), SYNCHRONIZE);
    link.area->done = GiveToGuard(guard, link.done.get(), EVENT_MODIFY_STATE);
    link.area->standDown = GiveToGuard(guard, link.standDown.get(), SYNCHRONIZE);
    return link.area->host && link.area->exiting && link.area->done && link.area->standDown;
}

bool StartGuardProcess(GuardLink& link, const std::wstring& stamp) {
    wchar_t dll[MAX_PATH * 2] = {};
    wchar_t system[MAX_PATH] = {};
    const DWORD dllLength = GetModuleFileNameW(moduleInstance, dll, MAX_PATH * 2);
    const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
    if (dllLength == 0 || dllLength >= MAX_PATH * 2 || systemLength == 0 || systemLength >= MAX_PATH) return false;
    const std::wstring program = std::wstring(system) + L"\\rundll32.exe";
    std::wstring commandLine = L"\"" + program + L"\" \"" + dll + L"\",ExitGuard " +
                               std::to_wstring(GetCurrentProcessId()) + L" " + stamp;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_DEFAULT_ERROR_MODE | CREATE_NO_WINDOW, nullptr, system, &startup,
                        &info))
        return false;
    UniqueHandle thread(info.hThread);
    link.guardProcess.reset(info.hProcess);
    if (!GiveLinkToGuard(link, info.hProcess)) {
        const DWORD error = GetLastError();
        TerminateProcess(info.hProcess, 1);
        SetLastError(error);
        return false;
    }
    ResumeThread(thread.get());
    LogPrintf(L"[StartExitGuard] pid=%lu looks after the editors started here once the host ends",
              info.dwProcessId);
    return true;
}

BOOL CALLBACK StartOnce(PINIT_ONCE, PVOID, PVOID*) noexcept {
    try {
        LARGE_INTEGER counter = {};
        QueryPerformanceCounter(&counter);
        wchar_t stamp[24] = {};
        swprintf(stamp, 24, L"%llx", static_cast<unsigned long long>(counter.QuadPart));
        auto link = std::make_unique<GuardLink>();
        if (!CreateLinkObjects(*link, stamp) || !StartGuardProcess(*link, stamp)) {
            LogPrintf(
                L"[StartExitGuard] the guard could not be started, err=%lu: an editor left at the host's exit "
                L"is not looked after",
                GetLastError());
            return TRUE;
        }
        link->area->count = 0;
        guardLink.store(link.release());
    } catch (...) {
    }
    return TRUE;
}

HWND WindowOf(const GuardedEditor& editor) {
    HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(editor.window));
    return IsLiveWindow(window) && ProcessIdOf(window) == editor.processId ? window : nullptr;
}

// The calls wait for the editor's thread: made only after it answered its probe.
void GiveBackAtExit(HWND window, const DesktopLook& look) {
    RestoreDesktopLookNow(window, look);
    DetachQuietly(window);
    ShowWindowAsync(window, SW_SHOWNOACTIVATE);
    PostMessageW(window, WM_CLOSE, 0, 0);
}

// True when the editor is done with: ended, ended here, or given back.
bool ReleaseAtExit(const GuardedEditor& editor, HANDLE process, DWORD answerWithinMs) {
    if (HasEnded(process)) return true;
    const HWND window = WindowOf(editor);
    if (!window || !AnswersMessages(window, answerWithinMs)) return false;
    if (ProvablyHoldsNoUnsavedWork(window, ProfileOf(static_cast<EditorKind>(editor.kind)))) {
        TerminateEditor(process, editor.processId, L"holds no unsaved work and its host is exiting");
        return true;
    }
    LogPrintf(
        L"[ReleaseEditorsAtProcessExit] pid=%lu may hold unsaved work: given back to the desktop as its host "
        L"exits",
        editor.processId);
    GiveBackAtExit(window, editor.look);
    return true;
}

struct ExitRelease {
    GuardedEditor editor;
    UniqueHandle process;
    std::atomic<bool> released{false};
};

UniqueHandle OpenEditorProcess(const GuardedEditor& editor) {
    UniqueHandle process(
        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, editor.processId));
    if (process && CreationTimeOf(process.get()) != editor.startTime) process.reset();
    return process;
}

std::vector<GuardedEditor> ReadArea(const GuardArea& area) {
    std::vector<GuardedEditor> editors;
    const DWORD count = area.count < kMaxGuardedEditors ? area.count : kMaxGuardedEditors;
    editors.assign(area.editors, area.editors + count);
    return editors;
}

// After its host has ended: an editor that ends by itself meanwhile (saving its settings) is let
// end; one that answers now is released as at the exit; one with no visible window of its own
// left is ended, since what it held went with its window.
void EndEditorsLeftWithoutWindow(std::vector<PendingEditor> pending) {
    const Deadline grace(kWindowlessGraceMs);
    for (PendingEditor& editor : pending) HasEnded(editor.process.get(), grace.RemainingMs());
    std::vector<GuardedEditor> running;
    for (PendingEditor& editor : pending) {
        if (!HasEnded(editor.process.get())) running.push_back(editor.editor);
    }
    for (PendingEditor& editor : ReleaseEditorsAtProcessExit(running, kAfterHostProbeMs)) {
        const DWORD processId = editor.editor.processId;
        if (WindowOf(editor.editor) || HasVisibleTopWindow(processId)) {
            LogPrintf(L"[ReleaseEditorsAtProcessExit] pid=%lu does not answer after its host ended: left as it is "
                      L"with its window",
                      processId);
            continue;
        }
        TerminateEditor(editor.process.get(), processId, L"has no window left after its host ended");
    }
}

void FollowHost(HANDLE host, DWORD hostProcessId, const GuardArea& area, HANDLE exiting, HANDLE done,
                HANDLE standDown) {
    const HANDLE waited[] = {standDown, exiting, host};
    DWORD woken = WAIT_TIMEOUT;
    while (woken == WAIT_TIMEOUT) woken = WaitForMultipleObjects(3, waited, FALSE, kGuardWakeMs);
    if (woken != WAIT_OBJECT_0 + 1 && woken != WAIT_OBJECT_0 + 2) return;
    const std::vector<GuardedEditor> editors = ReadArea(area);
    if (editors.empty()) return;
    std::vector<PendingEditor> pending;
    if (woken == WAIT_OBJECT_0 + 1) {
        LogPrintf(L"[ExitGuard] host pid=%lu exits with %u editors of its own", hostProcessId,
                  static_cast<unsigned>(editors.size()));
        pending = ReleaseEditorsAtProcessExit(editors, kExitAnswerMs);
        SetEvent(done);
        for (const PendingEditor& editor : pending)
            LogPrintf(L"[ReleaseEditorsAtProcessExit] pid=%lu %ls while its host exits: followed until its host "
                      L"has ended",
                      editor.editor.processId, WindowOf(editor.editor) ? L"does not answer" : L"has no window");
        HasEnded(host, kHostEndWaitMs);
    } else {
        LogPrintf(L"[ExitGuard] host pid=%lu has ended with %u editors of its own", hostProcessId,
                  static_cast<unsigned>(editors.size()));
        for (const GuardedEditor& editor : editors) {
            UniqueHandle process = OpenEditorProcess(editor);
            if (process) pending.push_back({editor, std::move(process)});
        }
    }
    EndEditorsLeftWithoutWindow(std::move(pending));
    // What the editors that ended owe their settings (Notepad4's recent files) is put back now, not at
    // the plug-in's next load.
    CompleteOwedPutBacks(std::wstring(), false);
}

}  // namespace

void StartExitGuard() {
    if (!moduleInstance) return;
    InitOnceExecuteOnce(&guardOnce, StartOnce, nullptr, nullptr);
}

void PublishGuardedEditors(const std::vector<GuardedEditor>& editors) {
    GuardLink* link = guardLink.load();
    if (!link) return;
    const size_t count = editors.size() < kMaxGuardedEditors ? editors.size() : kMaxGuardedEditors;
    // The count last: a host that dies in between leaves the guard fewer entries, never torn ones.
    link->area->count = 0;
    for (size_t i = 0; i < count; ++i) link->area->editors[i] = editors[i];
    link->area->count = static_cast<DWORD>(count);
}

void HandExitToGuard() {
    GuardLink* link = guardLink.load();
    if (!link || link->area->count == 0 || HasEnded(link->guardProcess.get())) return;
    SetEvent(link->exiting.get());
    if (WaitForSingleObject(link->done.get(), kExitHandOverMs) != WAIT_OBJECT_0)
        LogPrintf(L"[HandExitToGuard] the guard did not report within %lu ms", kExitHandOverMs);
}

void StandDownExitGuard() {
    GuardLink* link = guardLink.exchange(nullptr);
    if (!link) return;
    SetEvent(link->standDown.get());
    delete link;
}

void RunExitGuard(const wchar_t* commandLine) {
    if (!commandLine) return;
    wchar_t* rest = nullptr;
    const DWORD hostProcessId = wcstoul(commandLine, &rest, 10);
    while (rest && *rest == L' ') ++rest;
    const std::wstring stamp = rest ? rest : L"";
    if (hostProcessId == 0 || stamp.empty() || stamp.size() > 16 ||
        stamp.find_first_not_of(L"0123456789abcdef") != std::wstring::npos)
        return;
    UniqueHandle mapping(OpenFileMappingW(FILE_MAP_READ, FALSE, ObjectName(hostProcessId, stamp, L"editors").c_str()));
    if (!mapping) return;
    const auto* area = static_cast<const GuardArea*>(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(GuardArea)));
    if (!area) return;
    auto own = [](ULONGLONG value) { return UniqueHandle(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(value))); };
    UniqueHandle host = own(area->host), exiting = own(area->exiting), done = own(area->done),
                 standDown = own(area->standDown);
    FollowHost(host.get(), hostProcessId, *area, exiting.get(), done.get(), standDown.get());
    UnmapViewOfFile(area);
}

std::vector<PendingEditor> ReleaseEditorsAtProcessExit(const std::vector<GuardedEditor>& editors,
                                                       DWORD answerWithinMs) {
    std::vector<std::shared_ptr<ExitRelease>> releases;
    std::vector<UniqueHandle> workers;
    for (const GuardedEditor& editor : editors) {
        auto release = std::make_shared<ExitRelease>();
        release->editor = editor;
        release->process = OpenEditorProcess(editor);
        if (!release->process) continue;
        // Each on a worker of its own: one that stops answering between its probe and its calls keeps
        // only that worker.
        UniqueHandle worker = StartWindowCalls([release, answerWithinMs] {
            if (ReleaseAtExit(release->editor, release->process.get(), answerWithinMs)) release->released = true;
        });
        releases.push_back(release);
        if (worker) workers.push_back(std::move(worker));
    }
    const Deadline bound(answerWithinMs + kGiveBackCallsMs);
    for (const UniqueHandle& worker : workers) WaitForSingleObject(worker.get(), bound.RemainingMs());
    std::vector<PendingEditor> pending;
    for (const auto& release : releases) {
        if (release->released) continue;
        UniqueHandle copy = DuplicateHere(release->process.get());
        if (copy) pending.push_back({release->editor, std::move(copy)});
    }
    return pending;
}
