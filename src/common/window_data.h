#pragma once
// Typed access to message parameters and to the window's user-data slot.

#include <windows.h>

#include <cstdint>

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
