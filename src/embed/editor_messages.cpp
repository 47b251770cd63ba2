#include "embed/editor_messages.h"

bool SendToEditor(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply) {
    DWORD_PTR result = 0;
    LRESULT sent = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_NORMAL,
                                       kEditorReplyTimeoutMs, &result);
    if (reply) *reply = static_cast<LRESULT>(result);
    return sent != 0;
}

bool AnswersMessages(HWND window, DWORD timeoutMs) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, timeoutMs, &ignored) !=
           0;
}
