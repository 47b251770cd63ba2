#pragma once
// Mouse input injected with SendInput from a helper thread, while this thread dispatches its
// messages (the low-level mouse hook runs on the thread that installed it).

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace testinput {

inline INPUT MouseInput(DWORD flags, LONG x = 0, LONG y = 0, DWORD data = 0) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = x;
    input.mi.dy = y;
    input.mi.mouseData = data;
    input.mi.dwFlags = flags;
    return input;
}

// A move to the screen point, then the given events there.
inline std::vector<INPUT> EventsAt(POINT screen, std::initializer_list<INPUT> events) {
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> inputs;
    inputs.push_back(MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, MulDiv(screen.x, 65535, width - 1),
                                MulDiv(screen.y, 65535, height - 1)));
    inputs.insert(inputs.end(), events.begin(), events.end());
    return inputs;
}

inline std::vector<INPUT> ClickAt(POINT screen, DWORD down = MOUSEEVENTF_LEFTDOWN,
                                  DWORD up = MOUSEEVENTF_LEFTUP) {
    return EventsAt(screen, {MouseInput(down), MouseInput(up)});
}

// Sends the inputs from another thread; returns when condition holds (or after timeoutMs) and
// the sending thread has finished.
inline bool InjectAndWait(std::vector<INPUT> inputs, const std::function<bool()>& condition,
                          DWORD timeoutMs = 3000) {
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        sent = true;
    });
    bool held = testing_support::WaitFor([&] { return sent.load() && condition(); }, timeoutMs);
    testing_support::WaitFor([&] { return sent.load(); }, 10000);
    sender.join();
    testing_support::PumpMessages();
    return held;
}

inline POINT ScreenPoint(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    return point;
}

}  // namespace testinput
