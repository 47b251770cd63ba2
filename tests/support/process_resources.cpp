#include "support/process_resources.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr ULONG kObjectTypeInformation = 2;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr LONG kBufferTooSmall = static_cast<LONG>(0xC0000023);

using QuerySystemFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
using QueryObjectFn = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

template <typename Fn>
Fn NtFunction(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

std::vector<uint8_t> QuerySystem(ULONG infoClass) {
    const auto query = NtFunction<QuerySystemFn>("NtQuerySystemInformation");
    std::vector<uint8_t> buffer(1 << 16);
    if (!query) return {};
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(infoClass, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch || status == kBufferTooSmall) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status < 0) return {};
        return buffer;
    }
}

uint32_t Read32(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

uint64_t Read64(const std::vector<uint8_t>& bytes, size_t offset) {
    uint64_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 8);
    return value;
}

// OBJECT_TYPE_INFORMATION starts with the type's name as a UNICODE_STRING (length in bytes at 0,
// buffer pointer at 8).
std::wstring TypeNameOf(HANDLE handle) {
    const auto query = NtFunction<QueryObjectFn>("NtQueryObject");
    alignas(8) uint8_t info[1024] = {};
    ULONG needed = 0;
    if (!query || query(handle, kObjectTypeInformation, info, sizeof(info), &needed) < 0) return L"?";
    uint16_t length = 0;
    const wchar_t* name = nullptr;
    std::memcpy(&length, info, 2);
    std::memcpy(&name, info + 8, sizeof(name));
    return name ? std::wstring(name, length / 2) : L"?";
}

// SYSTEM_HANDLE_INFORMATION_EX: the count (8 bytes) and 8 reserved bytes, then 40-byte entries:
// object (8), owner process id (8), handle value (8), access (4), back trace (2), type index (2),
// attributes (4), reserved (4).
void AddHandleOfType(ProcessResources& counts, const std::wstring& type) {
    for (size_t i = 0; i < counts.handleTypeCount; ++i) {
        if (type == counts.handleTypes[i].name) {
            ++counts.handleTypes[i].count;
            return;
        }
    }
    if (counts.handleTypeCount == kMaxHandleTypes) return;
    HandleTypeCount& added = counts.handleTypes[counts.handleTypeCount++];
    const size_t length = std::min(type.size(), sizeof(added.name) / sizeof(added.name[0]) - 1);
    std::wmemcpy(added.name, type.c_str(), length);
    added.name[length] = L'\0';
    added.count = 1;
}

bool CountByType(ProcessResources& counts) {
    const std::vector<uint8_t> list = QuerySystem(kSystemExtendedHandleInformation);
    if (list.size() < 16) return false;
    const uint64_t count = Read64(list, 0);
    std::map<uint16_t, std::wstring> typeNames;
    for (uint64_t i = 0; i < count && 16 + (i + 1) * 40 <= list.size(); ++i) {
        const size_t at = static_cast<size_t>(16 + i * 40);
        if (Read64(list, at + 8) != GetCurrentProcessId()) continue;
        uint16_t typeIndex = 0;
        std::memcpy(&typeIndex, list.data() + at + 30, 2);
        auto known = typeNames.find(typeIndex);
        if (known == typeNames.end()) {
            HANDLE handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(Read64(list, at + 16)));
            std::wstring name = TypeNameOf(handle);
            known = typeNames.emplace(typeIndex, name.empty() ? L"(unnamed)" : name).first;
        }
        AddHandleOfType(counts, known->second);
        ++counts.handles;
    }
    return counts.handles > 0;
}

DWORD LowestFreeTlsSlot() {
    DWORD slot = TlsAlloc();
    TlsFree(slot);
    return slot;
}

void CountHeapBlocks(ProcessResources& counts) {
    std::vector<HANDLE> heaps(256);
    DWORD heapCount = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    for (DWORD i = 0; i < heapCount && i < heaps.size(); ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry)) {
            if (!(entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)) continue;
            ++counts.heapBlocks;
            counts.heapBytes += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
}

}  // namespace

// SYSTEM_HANDLE_INFORMATION: a 4-byte count padded to 8, then 24-byte entries whose first 4
// bytes are the owning process id.
size_t CountOwnHandles() {
    const std::vector<uint8_t> list = QuerySystem(kSystemHandleInformation);
    if (list.size() < 8) return 0;
    const uint32_t count = Read32(list, 0);
    size_t own = 0;
    for (uint32_t i = 0; i < count && 8 + (i + 1) * 24ull <= list.size(); ++i)
        own += Read32(list, 8 + i * 24ull) == GetCurrentProcessId() ? 1 : 0;
    return own;
}

ProcessResources CountProcessResources() {
    ProcessResources counts;
    counts.tlsSlot = LowestFreeTlsSlot();
    if (!CountByType(counts)) counts.handles = CountOwnHandles();
    // Last, when the lists read above are freed again.
    CountHeapBlocks(counts);
    return counts;
}

}  // namespace testing_support
