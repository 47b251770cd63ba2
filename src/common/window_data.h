#pragma once
// Typed access to message parameters and to the window's user-data slot; checks on kept windows.

#include <windows.h>

#include <cstdint>

// Buffers for a window's class name (63 characters and the terminator) and title; longer ones are cut.
constexpr int kClassNameCapacity = 64;
constexpr int kTitleCapacity = 1024;

template <typename T>
T* AsPointer(LPARAM value) {
    return reinterpret_cast<T*>(value);
}

template <typename T>
T* AsPointer(WPARAM value) {
    return reinterpret_cast<T*>(value);
}

template <typename T>
T* GetWindowData(HWND window) {
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

template <typename T>
void StoreWindowData(HWND window, T* data) {
    static_assert(sizeof(data) == sizeof(LONG_PTR), "the user-data slot holds one pointer");
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
}

// Every window handle kept across calls is checked with this before use.
inline bool IsLiveWindow(HWND window) {
    return window && IsWindow(window);
}

// The process that owns window; 0 when there is none.
inline DWORD ProcessIdOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}
