// ExitGuardW: the life of the exit guard process (rundll32 "<this dll>",ExitGuard <host> <name>).

#include "embed/exit_guard.h"
#include "plugin/exports.h"

void CALLBACK ExitGuardW(HWND, HINSTANCE, LPWSTR commandLine, int) noexcept {
    try {
        RunExitGuard(commandLine);
    } catch (...) {
    }
}
