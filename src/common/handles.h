#pragma once
// Move-only owners for the kernel and GDI handles the plug-in holds. One owner per handle.

#include <windows.h>

#include <utility>

// A kernel handle closed with CloseHandle. Treats both null and INVALID_HANDLE_VALUE as empty.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(IsValid(handle) ? handle : nullptr) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HANDLE release() { return std::exchange(handle_, nullptr); }
    void reset(HANDLE handle = nullptr) {
        if (handle_) CloseHandle(handle_);
        handle_ = IsValid(handle) ? handle : nullptr;
    }

private:
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    HANDLE handle_ = nullptr;
};

// A handle of this process's own to the object behind handle, with the same access: for an owner
// that may outlive handle's (a worker, a follower). Empty when it could not be made.
inline UniqueHandle DuplicateHere(HANDLE handle) {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return UniqueHandle();
    return UniqueHandle(copy);
}

// A window's device context, released on scope exit.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    ~ScopedWindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// A GDI object selected into a DC for the scope; the previous one is selected back.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
    ~ScopedSelectObject() {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A global memory block, freed unless released (for example after it was handed to a receiver).
class UniqueGlobal {
public:
    UniqueGlobal() = default;
    explicit UniqueGlobal(HGLOBAL block) : block_(block) {}
    UniqueGlobal(UniqueGlobal&& other) noexcept : block_(other.release()) {}
    UniqueGlobal& operator=(UniqueGlobal&& other) noexcept {
        if (this != &other) {
            reset();
            block_ = other.release();
        }
        return *this;
    }
    UniqueGlobal(const UniqueGlobal&) = delete;
    UniqueGlobal& operator=(const UniqueGlobal&) = delete;
    ~UniqueGlobal() { reset(); }

    HGLOBAL get() const { return block_; }
    explicit operator bool() const { return block_ != nullptr; }
    HGLOBAL release() { return std::exchange(block_, nullptr); }
    void reset() {
        if (block_) GlobalFree(block_);
        block_ = nullptr;
    }

private:
    HGLOBAL block_ = nullptr;
};

// Memory committed in another process (VirtualAllocEx), released there on scope exit unless
// abandoned: a receiver that has not answered may still read it, and reading freed memory would
// crash it, so such a block is left to end with that process.
class RemoteMemory {
public:
    RemoteMemory(HANDLE process, SIZE_T bytes)
        : process_(process),
          address_(process ? VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                           : nullptr) {}
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    ~RemoteMemory() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    void* get() const { return address_; }
    explicit operator bool() const { return address_ != nullptr; }
    void abandon() { address_ = nullptr; }

private:
    HANDLE process_;
    void* address_;
};

// Holds a global memory block locked for the scope.
class ScopedGlobalLock {
public:
    explicit ScopedGlobalLock(HGLOBAL block) : block_(block), data_(GlobalLock(block)) {}
    ScopedGlobalLock(const ScopedGlobalLock&) = delete;
    ScopedGlobalLock& operator=(const ScopedGlobalLock&) = delete;
    ~ScopedGlobalLock() {
        if (data_) GlobalUnlock(block_);
    }
    void* data() const { return data_; }

private:
    HGLOBAL block_;
    void* data_;
};

// Holds a slim reader/writer lock exclusively for the scope. Such a lock needs no initialisation
// call and allocates nothing, so unloading the library leaves nothing of it behind.
class ScopedExclusiveLock {
public:
    explicit ScopedExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ScopedExclusiveLock(const ScopedExclusiveLock&) = delete;
    ScopedExclusiveLock& operator=(const ScopedExclusiveLock&) = delete;
    ~ScopedExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK& lock_;
};

// A hook of some kind, removed with its removal function. Move-only.
template <typename Hook, BOOL(WINAPI* Remove)(Hook)>
class UniqueHookOf {
public:
    UniqueHookOf() = default;
    explicit UniqueHookOf(Hook hook) : hook_(hook) {}
    UniqueHookOf(UniqueHookOf&& other) noexcept : hook_(other.release()) {}
    UniqueHookOf& operator=(UniqueHookOf&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHookOf(const UniqueHookOf&) = delete;
    UniqueHookOf& operator=(const UniqueHookOf&) = delete;
    ~UniqueHookOf() { reset(); }

    Hook get() const { return hook_; }
    explicit operator bool() const { return hook_ != nullptr; }
    Hook release() { return std::exchange(hook_, nullptr); }
    void reset(Hook hook = nullptr) {
        if (hook_) Remove(hook_);
        hook_ = hook;
    }

private:
    Hook hook_ = nullptr;
};

using UniqueWinEventHook = UniqueHookOf<HWINEVENTHOOK, UnhookWinEvent>;
using UniqueWindowsHook = UniqueHookOf<HHOOK, UnhookWindowsHookEx>;

// A window procedure replaced by ours, given back when released. When another procedure was put
// on top of ours meanwhile, giving ours away would cut that one off: TryRestore then keeps the
// subclass and says so, and the holder keeps forwarding until ours is on top again.
class UniqueSubclass {
public:
    UniqueSubclass() = default;
    UniqueSubclass(HWND window, WNDPROC previousProc, WNDPROC ours)
        : window_(window), previous_(previousProc), ours_(ours) {}
    UniqueSubclass(UniqueSubclass&& other) noexcept { Take(other); }
    UniqueSubclass& operator=(UniqueSubclass&& other) noexcept {
        if (this != &other) {
            TryRestore();
            Take(other);
        }
        return *this;
    }
    UniqueSubclass(const UniqueSubclass&) = delete;
    UniqueSubclass& operator=(const UniqueSubclass&) = delete;
    ~UniqueSubclass() { TryRestore(); }

    HWND window() const { return window_; }
    WNDPROC previous() const { return previous_; }
    explicit operator bool() const { return window_ != nullptr; }

    // True when nothing is left to give back: restored, or the window is gone.
    bool TryRestore() noexcept {
        if (window_ && IsWindow(window_)) {
            if (GetWindowLongPtrW(window_, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(ours_)) return false;
            SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        }
        Forget();
        return true;
    }
    // For a window in its last message: its procedure no longer matters.
    void Forget() noexcept {
        window_ = nullptr;
        previous_ = nullptr;
        ours_ = nullptr;
    }

private:
    void Take(UniqueSubclass& other) noexcept {
        window_ = std::exchange(other.window_, nullptr);
        previous_ = std::exchange(other.previous_, nullptr);
        ours_ = std::exchange(other.ours_, nullptr);
    }

    HWND window_ = nullptr;
    WNDPROC previous_ = nullptr;
    WNDPROC ours_ = nullptr;
};
