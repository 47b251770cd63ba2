#include "embed/editor_messages.h"

#include "embed/bounded_wait.h"

namespace {

// The worker's send ends at its own bound: this much longer is left for it to report.
constexpr DWORD kSendReportMs = 200;
// A repeatable message is first sent from this thread, waiting this long: an editor that answers
// by then costs no worker (a thread hop costs about ten sends under Wine).
constexpr UINT kStraightSendMs = 50;

struct SendOutcome {
    bool answered = false;
    LRESULT reply = 0;
    DWORD error = ERROR_SUCCESS;
};

}  // namespace

bool SendToEditor(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply) {
    DWORD_PTR result = 0;
    LRESULT sent = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_NORMAL,
                                       kEditorReplyTimeoutMs, &result);
    if (reply) *reply = static_cast<LRESULT>(result);
    return sent != 0;
}

bool SendToEditorDispatchingMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply,
                                     const bool* stop, std::shared_ptr<const void> lParamData) {
    // Read only once the worker has ended: a worker left behind writes into it alone.
    auto outcome = std::make_shared<SendOutcome>();
    const bool finished = RunOnReusedWorkerDispatchingMessages(
        [window, message, wParam, lParam, outcome, lParamData] {
            outcome->answered = SendToEditor(window, message, wParam, lParam, &outcome->reply);
            outcome->error = GetLastError();
        },
        kEditorReplyTimeoutMs + kSendReportMs, stop);
    if (reply) *reply = finished ? outcome->reply : 0;
    if (finished) {
        SetLastError(outcome->error);
    } else {
        SetLastError(stop && *stop ? ERROR_CANCELLED : ERROR_TIMEOUT);
    }
    return finished && outcome->answered;
}

bool AnswersMessages(HWND window, DWORD timeoutMs) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, timeoutMs, &ignored) !=
           0;
}

bool SendRepeatableDispatchingMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT* reply, const bool* stop) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_NORMAL, kStraightSendMs,
                            &result)) {
        if (reply) *reply = static_cast<LRESULT>(result);
        return true;
    }
    if (GetLastError() != ERROR_TIMEOUT) {
        if (reply) *reply = 0;
        return false;
    }
    // Still queued for the editor: it gets the message twice, which for such a message is harmless.
    return SendToEditorDispatchingMessages(window, message, wParam, lParam, reply, stop);
}
