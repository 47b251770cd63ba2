#pragma once
// What a process holds that a leak would make grow, counted from outside the plug-in: handles
// (from the system's handle list: Wine's GetProcessHandleCount answers 0), heap blocks and bytes
// (HeapWalk), and the lowest free TLS slot.

#include <windows.h>

#include <cstddef>
#include <map>
#include <string>

namespace testing_support {

struct ProcessResources {
    DWORD tlsSlot = 0;  // the lowest free slot: it rises when slots are taken and never given back
    size_t handles = 0;
    std::map<std::wstring, size_t> handlesByType;  // empty when the system does not tell types
    size_t heapBlocks = 0;
    size_t heapBytes = 0;
};

ProcessResources CountProcessResources();
// This process's handles, all types together.
size_t CountOwnHandles();

}  // namespace testing_support
