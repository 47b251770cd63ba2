#pragma once
// Messages sent to an editor's windows wait at most kEditorReplyTimeoutMs, and not at all for an
// editor the system already considers hung: a hung editor must never freeze the host.

#include <windows.h>

constexpr UINT kEditorReplyTimeoutMs = 3000;
constexpr UINT kSciGetModify = 2159;  // SCI_GETMODIFY: non-zero when the document has unsaved changes

// True when the editor handled the message in time; its reply is stored in reply when given.
bool SendToEditor(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply = nullptr);

// The WM_NULL probe: true when the window's thread handled it within timeoutMs.
bool AnswersMessages(HWND window, DWORD timeoutMs);
