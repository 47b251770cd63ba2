#pragma once
// Messages sent to an editor's windows wait at most kEditorReplyTimeoutMs, and not at all for an
// editor the system already considers hung: a hung editor must never freeze the host.

#include <windows.h>

#include <memory>

constexpr UINT kEditorReplyTimeoutMs = 3000;
constexpr UINT kSciGetModify = 2159;  // SCI_GETMODIFY: non-zero when the document has unsaved changes

// True when the editor handled the message in time; its reply is stored in reply when given.
bool SendToEditor(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply = nullptr);

// Sent from this thread for a moment first (kStraightSendMs): an editor that answers at once costs
// one message and no thread. One slower than that still gets the message; this thread then dispatches
// every message, so that the host's thread keeps taking its input, while a worker waits for the editor
// to get to it (the reply of a message answered that late reads TRUE). lParamData owns what lParam
// points to for as long as the editor may read it (also past a wait stopped once *stop became true).
// GetLastError tells why a send failed, as after SendToEditor (ERROR_CANCELLED when stopped).
bool SendToEditorDispatchingMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply,
                                     const bool* stop, std::shared_ptr<const void> lParamData = nullptr);

// For a message the editor may get twice without harm (it reads a value, or sets what the second one
// sets again): as above, but an editor slower than the first try is sent it again from the worker,
// whose reply is read.
bool SendRepeatableDispatchingMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT* reply, const bool* stop);

// The WM_NULL probe: true when the window's thread handled it within timeoutMs.
bool AnswersMessages(HWND window, DWORD timeoutMs);
