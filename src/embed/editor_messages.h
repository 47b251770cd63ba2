#pragma once
// Messages sent to an editor's windows wait at most kEditorReplyTimeoutMs, and not at all for an
// editor the system already considers hung: a hung editor must never freeze the host.

#include <windows.h>

#include <memory>

constexpr UINT kEditorReplyTimeoutMs = 3000;
constexpr UINT kSciGetModify = 2159;  // SCI_GETMODIFY: non-zero when the document has unsaved changes

// True when the editor handled the message in time; its reply is stored in reply when given.
bool SendToEditor(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply = nullptr);

// SendToEditor on a worker while this thread dispatches every message, so that the host's thread
// keeps taking its input while an editor takes its time. lParamData owns what lParam points to:
// the worker may still be inside the send when the wait ends (stopped once *stop becomes true),
// and keeps it until then. GetLastError tells why a send failed, as after SendToEditor
// (ERROR_CANCELLED when stopped).
bool SendToEditorDispatchingMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply,
                                     const bool* stop, std::shared_ptr<const void> lParamData = nullptr);

// For a message the editor may get twice without harm (it reads a value, or sets what the second one
// sets again): sent from this thread for a moment first, and only for an editor slower than that on
// a worker as above. Most editors answer at once, and then no thread is needed.
bool SendRepeatableDispatchingMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT* reply, const bool* stop);

// The WM_NULL probe: true when the window's thread handled it within timeoutMs.
bool AnswersMessages(HWND window, DWORD timeoutMs);
