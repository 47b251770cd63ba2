#include "embed/editor_registry.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "common/deadline.h"
#include "common/text.h"
#include "common/window_data.h"
#include "embed/bounded_wait.h"
#include "embed/editor_holder.h"
#include "embed/editor_messages.h"
#include "embed/editor_process.h"
#include "embed/exit_guard.h"
#include "embed/window_filters.h"
#include "log/log.h"

namespace {

constexpr DWORD kInsidePollMs = 50;
// How long a closing viewer waits for the editors inside to leave before their holder takes them out:
// the host's input waits no longer than that.
constexpr DWORD kHolderLeaveWaitMs = 200;
// An editor given back to the user may run for a working day; what it is owed is put back when it
// ends, or at a later launch or load of the plug-in.
constexpr DWORD kOwedPutBackWatchMs = 12 * 60 * 60 * 1000;

struct TrackedEditor {
    HANDLE process = nullptr;  // owned: closed by ForgetEditor
    DWORD processId = 0;
    HWND window = nullptr;
    DesktopLook look;
    const EditorProfile* profile = &kOtherEditorProfile;  // asked whether it holds unsaved work
    ULONGLONG startTime = 0;  // its process's creation time, for the guard
};

SRWLOCK registryLock = SRWLOCK_INIT;
std::vector<TrackedEditor>* tracked = nullptr;  // under registryLock; created on first use

TrackedEditor* FindLocked(DWORD processId) {
    if (!tracked) return nullptr;
    auto found = std::find_if(tracked->begin(), tracked->end(), [processId](const TrackedEditor& editor) {
        return editor.processId == processId;
    });
    return found == tracked->end() ? nullptr : &*found;
}

void EraseLocked(const TrackedEditor* editor) {
    tracked->erase(tracked->begin() + (editor - tracked->data()));
}

// Done now when the editor has ended, else from a wait on its process.
void PutBackWhenEnded(UniqueHandle process, const OwedPutBack& owed) {
    if (owed.iniPath.empty()) return;
    if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
        CompletePutBack(owed);
        return;
    }
    auto waited = std::make_shared<UniqueHandle>(std::move(process));
    StartWorker([waited, owed] {
        if (WaitForSingleObject(waited->get(), kOwedPutBackWatchMs) == WAIT_OBJECT_0) CompletePutBack(owed);
    });
}

std::vector<GuardedEditor> GuardedLocked() {
    std::vector<GuardedEditor> editors;
    if (!tracked) return editors;
    for (const TrackedEditor& editor : *tracked) {
        GuardedEditor guarded;
        guarded.processId = editor.processId;
        guarded.kind = static_cast<DWORD>(editor.profile->kind);
        guarded.startTime = editor.startTime;
        guarded.window = static_cast<ULONGLONG>(reinterpret_cast<UINT_PTR>(editor.window));
        guarded.look = editor.look;
        editors.push_back(guarded);
    }
    return editors;
}

// Under registryLock, after every change: the guard sees the list as it is.
void PublishLocked() {
    try {
        PublishGuardedEditors(GuardedLocked());
    } catch (const std::bad_alloc&) {
    }
}

struct ChildCollection {
    HWND parent = nullptr;
    std::vector<HWND>* windows = nullptr;
};

BOOL CALLBACK CollectDirectChild(HWND window, LPARAM collection) noexcept {
    try {
        auto* record = AsPointer<ChildCollection>(collection);
        if (GetAncestor(window, GA_PARENT) == record->parent) record->windows->push_back(window);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

bool IsTrackedLocked(DWORD processId) {
    if (!tracked) return false;
    return std::any_of(tracked->begin(), tracked->end(),
                       [processId](const TrackedEditor& editor) { return editor.processId == processId; });
}

std::vector<HWND> DirectChildrenOf(HWND viewer) {
    std::vector<HWND> children;
    ChildCollection collection{viewer, &children};
    EnumChildWindows(viewer, CollectDirectChild, reinterpret_cast<LPARAM>(&collection));
    return children;
}

// The tracked editors with a window directly inside viewer.
std::vector<DWORD> TrackedEditorsInside(HWND viewer, DWORD launchingProcessId) {
    const std::vector<HWND> children = DirectChildrenOf(viewer);
    std::vector<DWORD> inside;
    AcquireSRWLockExclusive(&registryLock);
    for (HWND child : children) {
        const DWORD owner = ProcessIdOf(child);
        if (owner == launchingProcessId || !IsTrackedLocked(owner)) continue;
        if (std::find(inside.begin(), inside.end(), owner) == inside.end()) inside.push_back(owner);
    }
    ReleaseSRWLockExclusive(&registryLock);
    return inside;
}

HANDLE DuplicateTrackedProcess(DWORD processId) {
    HANDLE copy = nullptr;
    AcquireSRWLockExclusive(&registryLock);
    if (tracked) {
        for (const TrackedEditor& editor : *tracked) {
            if (editor.processId == processId)
                DuplicateHandle(GetCurrentProcess(), editor.process, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS);
        }
    }
    ReleaseSRWLockExclusive(&registryLock);
    return copy;
}

void LogLeft(const std::vector<DWORD>& before, const std::vector<DWORD>& now, const Deadline& start) {
    for (DWORD processId : before) {
        if (std::find(now.begin(), now.end(), processId) == now.end())
            LogPrintf(L"[KillChild]   pid=%lu out of the closing viewer after %lu ms", processId,
                      start.ElapsedMs());
    }
}

}  // namespace

bool IsTrackedEditor(DWORD processId) {
    ScopedExclusiveLock lock(registryLock);
    return IsTrackedLocked(processId);
}

void ReleaseEditorsLeftInside(HWND viewer, DWORD launchingProcessId) {
    const HWND parent = EmbeddingParentOf(viewer);
    const bool held = parent != viewer;
    const Deadline start(held ? kHolderLeaveWaitMs : kViewerClosingDetachMs);
    std::vector<DWORD> inside = TrackedEditorsInside(parent, launchingProcessId);
    // A closing editor's window stays inside until it ends: one that has not ended is taken out now,
    // on a worker (hidden; its watcher gives it back if it stays).
    for (HWND child : DirectChildrenOf(parent)) {
        if (std::find(inside.begin(), inside.end(), ProcessIdOf(child)) == inside.end()) continue;
        StartWindowCalls([child, parent] {
            // Not abandoned when it seems hung: a busy editor lets its window go once it is done.
            DWORD_PTR ignored = 0;
            if (!SendMessageTimeoutW(child, WM_NULL, 0, 0, SMTO_NORMAL, kViewerClosingDetachMs, &ignored))
                return;
            DetachQuietly(child);
            CloseHolderIfEmpty(parent);
        });
    }
    while (!inside.empty() && !start.Passed()) {
        WaitAnsweringSentMessages(nullptr, kInsidePollMs);
        std::vector<DWORD> now = TrackedEditorsInside(parent, launchingProcessId);
        LogLeft(inside, now, start);
        inside = std::move(now);
    }
    if (inside.empty()) return;
    // Out of the viewer in the window that holds them, which only this thread moves: the viewer's end
    // then neither waits for them nor takes their windows. Their watchers give them back once they answer.
    if (held && TakeHolderOutOfClosingViewer(viewer)) {
        for (DWORD processId : inside)
            LogPrintf(
                L"[KillChild]   pid=%lu does not answer as its viewer closes: it leaves the viewer hidden, in "
                L"the window that holds it, never terminated; given back once it answers",
                processId);
        return;
    }
    for (DWORD processId : inside) {
        UniqueHandle process(DuplicateTrackedProcess(processId));
        if (process)
            TerminateEditor(
                process.get(), processId,
                L"still inside its closing viewer: its window, and any unsaved work in it, would go "
                L"with the viewer, which would wait for it");
    }
}

void TrackEditor(HANDLE process, DWORD processId, HWND window, const DesktopLook& look,
                 const EditorProfile& profile) {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return;
    StartExitGuard();
    AcquireSRWLockExclusive(&registryLock);
    try {
        if (!tracked) tracked = new std::vector<TrackedEditor>();
        TrackedEditor* known = FindLocked(processId);
        // An ended process's id may be given to a new one.
        if (known && WaitForSingleObject(known->process, 0) == WAIT_OBJECT_0) {
            CloseHandle(known->process);
            EraseLocked(known);
            known = nullptr;
        }
        if (known) {
            known->window = window;
            known->look = look;
            known->profile = &profile;
        } else {
            TrackedEditor editor;
            editor.process = copy;
            editor.processId = processId;
            editor.window = window;
            editor.look = look;
            editor.profile = &profile;
            editor.startTime = CreationTimeOf(copy);
            tracked->push_back(std::move(editor));
            copy = nullptr;
        }
    } catch (const std::bad_alloc&) {
    }
    PublishLocked();
    ReleaseSRWLockExclusive(&registryLock);
    if (copy) CloseHandle(copy);
}

void ForgetEditor(const StartedEditor& started) {
    TrackedEditor forgotten;
    AcquireSRWLockExclusive(&registryLock);
    if (TrackedEditor* editor = FindLocked(started.processId)) {
        forgotten = std::move(*editor);
        EraseLocked(editor);
        PublishLocked();
    }
    ReleaseSRWLockExclusive(&registryLock);
    if (!forgotten.process) return;
    PutBackWhenEnded(UniqueHandle(forgotten.process), started.putBack);
}

std::vector<GuardedEditor> GuardedEditorsNow() {
    ScopedExclusiveLock lock(registryLock);
    return GuardedLocked();
}

void ReleaseEditorRegistry() {
    AcquireSRWLockExclusive(&registryLock);
    if (tracked) {
        for (const TrackedEditor& editor : *tracked) CloseHandle(editor.process);
        delete tracked;
        tracked = nullptr;
    }
    ReleaseSRWLockExclusive(&registryLock);
}
