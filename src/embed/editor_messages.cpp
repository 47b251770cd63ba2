#include "embed/editor_messages.h"

#include "common/window_data.h"
#include "embed/bounded_wait.h"

namespace {

// The worker's send ends at its own bound: this much longer is left for it to report.
constexpr DWORD kSendReportMs = 200;
// Each message is first sent from this thread, waiting this long: an editor that answers by then
// costs no worker (a thread hop costs about ten sends under Wine), and the host's posted messages
// wait no longer than that.
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

namespace {

// The send of a message that has been tried from this thread already, on a worker while this
// thread dispatches every message.
bool SendOnWorker(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply, const bool* stop,
                  std::shared_ptr<const void> lParamData) {
    // Read only once the worker has ended: a worker left behind writes into it alone.
    auto outcome = std::make_shared<SendOutcome>();
    CallBound bound;
    bound.timeoutMs = kEditorReplyTimeoutMs + kSendReportMs;
    bound.stop = stop;
    const bool finished = CallIntoWindows(
                              [window, message, wParam, lParam, outcome, lParamData] {
                                  outcome->answered =
                                      SendToEditor(window, message, wParam, lParam, &outcome->reply);
                                  outcome->error = GetLastError();
                              },
                              bound) == CallEnd::Done;
    if (reply) *reply = finished ? outcome->reply : 0;
    if (finished) {
        SetLastError(outcome->error);
    } else {
        SetLastError(stop && *stop ? ERROR_CANCELLED : ERROR_TIMEOUT);
    }
    return finished && outcome->answered;
}

enum class StraightSend { Answered, Queued, Failed };

// A send that times out stays queued for the editor, which handles it when it gets to it; a hung
// editor is not sent anything.
StraightSend SendStraight(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_NORMAL, kStraightSendMs,
                            &result)) {
        if (reply) *reply = static_cast<LRESULT>(result);
        return StraightSend::Answered;
    }
    if (reply) *reply = 0;
    const DWORD error = GetLastError();
    if (error != ERROR_TIMEOUT || IsHungAppWindow(window)) {
        SetLastError(error);
        return StraightSend::Failed;
    }
    return StraightSend::Queued;
}

// The editor's own outermost window above window (an embedded one's parent is ours).
HWND EditorTopWindow(HWND window) {
    const DWORD editor = ProcessIdOf(window);
    for (HWND parent = GetAncestor(window, GA_PARENT); parent && parent != GetDesktopWindow() &&
                                                       ProcessIdOf(parent) == editor;
         parent = GetAncestor(window, GA_PARENT))
        window = parent;
    return window;
}

}  // namespace

namespace {

// What a message that the straight try left queued for the editor needs: sent again from the worker,
// whose reply is read (harmless for a message the editor may get twice), or waited for in its turn.
enum class WhenQueued { SendAgain, WaitForItsTurn };

bool SendStraightThenOnWorker(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply,
                              const bool* stop, std::shared_ptr<const void> lParamData, WhenQueued whenQueued) {
    switch (SendStraight(window, message, wParam, lParam, reply)) {
        case StraightSend::Answered:
            return true;
        case StraightSend::Failed:
            return false;
        case StraightSend::Queued:
            break;
    }
    if (whenQueued == WhenQueued::SendAgain)
        return SendOnWorker(window, message, wParam, lParam, reply, stop, std::move(lParamData));
    // The message waits in the editor's queue, with whatever lParam points to (kept alive for the
    // worker), for as long as the editor takes: it answers the worker's WM_NULL only after the
    // messages sent to it before, or from a modal question that one of them opened, which keeps the
    // editor's window disabled and counts as no answer. The message's own reply is lost by then.
    if (!SendOnWorker(window, WM_NULL, 0, 0, nullptr, stop, std::move(lParamData))) return false;
    if (!IsWindowEnabled(EditorTopWindow(window))) {
        SetLastError(ERROR_TIMEOUT);
        return false;
    }
    if (reply) *reply = TRUE;
    return true;
}

}  // namespace

bool SendToEditorDispatchingMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply,
                                     const bool* stop, std::shared_ptr<const void> lParamData) {
    return SendStraightThenOnWorker(window, message, wParam, lParam, reply, stop, std::move(lParamData),
                                    WhenQueued::WaitForItsTurn);
}

bool AnswersMessages(HWND window, DWORD timeoutMs) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, timeoutMs, &ignored) !=
           0;
}

bool SendRepeatableDispatchingMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT* reply, const bool* stop) {
    return SendStraightThenOnWorker(window, message, wParam, lParam, reply, stop, nullptr,
                                    WhenQueued::SendAgain);
}
