#include "embed/parking.h"

#include <memory>

#include "common/handles.h"
#include "embed/bounded_wait.h"

namespace {

// The parking thread looks this often whether its window still has children, and ends when not.
constexpr UINT kEmptyCheckMs = 500;
constexpr UINT_PTR kEmptyCheckTimer = 1;
constexpr DWORD kParkingStartMs = 2000;

SRWLOCK parkingLock = SRWLOCK_INIT;
HWND parkingWindow = nullptr;  // under parkingLock; null while no parking thread runs
int parkingCalls = 0;          // under parkingLock: ParkWindow calls that still use the window

bool MayEnd(HWND window) {
    ScopedExclusiveLock lock(parkingLock);
    if (parkingCalls > 0 || GetWindow(window, GW_CHILD)) return false;
    parkingWindow = nullptr;
    return true;
}

// A message-only window of a system class: nothing of this module runs in it.
void RunParkingThread(HANDLE ready) {
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    {
        ScopedExclusiveLock lock(parkingLock);
        parkingWindow = window;
    }
    SetEvent(ready);
    if (!window) return;
    SetTimer(nullptr, kEmptyCheckTimer, kEmptyCheckMs, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && MayEnd(window)) break;
        DispatchMessageW(&msg);
    }
    DestroyWindow(window);
}

// The parking window, started when none runs; counted as in use until ReleaseParking.
HWND AcquireParking() {
    {
        ScopedExclusiveLock lock(parkingLock);
        if (parkingWindow) {
            ++parkingCalls;
            return parkingWindow;
        }
    }
    auto ready = std::make_shared<UniqueHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!*ready || !StartWorker([ready] { RunParkingThread(ready->get()); })) return nullptr;
    WaitForSingleObject(ready->get(), kParkingStartMs);
    ScopedExclusiveLock lock(parkingLock);
    if (parkingWindow) ++parkingCalls;
    return parkingWindow;
}

void ReleaseParking() {
    ScopedExclusiveLock lock(parkingLock);
    --parkingCalls;
}

}  // namespace

bool ParkWindow(HWND window) {
    HWND parking = AcquireParking();
    if (!parking) return false;
    const bool parked = SetParent(window, parking) != nullptr;
    ReleaseParking();
    return parked;
}
