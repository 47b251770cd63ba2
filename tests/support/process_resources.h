#pragma once
// What a process holds that a leak would make grow, counted from outside the plug-in: handles
// (from the system's handle list: Wine's GetProcessHandleCount answers 0), heap blocks and bytes
// (HeapWalk), and the lowest free TLS slot.

#include <windows.h>

#include <cstddef>

namespace testing_support {

// Kept in fixed arrays, so that a count that is still alive adds nothing to the heap of the next.
struct HandleTypeCount {
    wchar_t name[32];
    size_t count;
};
constexpr size_t kMaxHandleTypes = 48;

struct ProcessResources {
    DWORD tlsSlot = 0;  // the lowest free slot: it rises when slots are taken and never given back
    size_t handles = 0;
    HandleTypeCount handleTypes[kMaxHandleTypes] =
        {};  // the first handleTypeCount, when the system tells types
    size_t handleTypeCount = 0;
    size_t heapBlocks = 0;
    size_t heapBytes = 0;
};

ProcessResources CountProcessResources();
// This process's handles, all types together.
size_t CountOwnHandles();

}  // namespace testing_support
