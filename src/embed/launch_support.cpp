#include "embed/launch_support.h"

#include "embed/child_window.h"
#include "log/log.h"

bool ProcessHasEnded(HANDLE process, DWORD* exitCode) {
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code) || code == STILL_ACTIVE) return false;
    if (exitCode) *exitCode = code;
    return true;
}

bool LaunchAbandoned(const ViewerState& state, DWORD processId) {
    return state.closing || state.editor.processId != processId;
}

bool EndAbandonedLaunch(ViewerState& state, DWORD processId) {
    LogPrintf(
        L"[LaunchAndEmbed] launch of pid=%lu abandoned: the viewer was destroyed or its editor closed "
        L"while waiting",
        processId);
    if (state.editor.processId == processId) EndLaunchedEditor(state);
    return false;
}

bool EndUnansweredLaunch(ViewerState& state, DWORD processId) {
    LogPrintf(L"[LaunchAndEmbed] pid=%lu did not answer while its window was embedded, editor terminated",
              processId);
    if (state.editor.processId != processId) return false;
    // Asked nothing more: it answers nothing. Its end also releases the calls still waiting on it.
    state.editor.window = nullptr;
    TerminateProcess(state.editor.process.get(), 0);
    EndLaunchedEditor(state);
    return false;
}
