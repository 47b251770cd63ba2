#include "host/test_host.h"

#include <cstring>
#include <mutex>

namespace testhost {
namespace {

// A real host's settings store may be called from several of its threads at once; this one keeps
// its records and store consistent by serving one call at a time.
std::mutex serveLock;
Behaviour behaviour;
bool behaviourReady = false;
RecordedCall lastCall;
int loadOrSaveCalls = 0;
int getConfigPathCalls = 0;
Store memoryStore;
bool memoryStoreReady = false;

std::wstring DefaultConfigFolder() {
    wchar_t fromEnvironment[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"VELLOQUIN_TEST_CONFIG_DIR", fromEnvironment, MAX_PATH) > 0) return fromEnvironment;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"velloquin-host-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

template <typename T>
T ReadAt(const void* base, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const uint8_t*>(base) + offset, sizeof(T));
    return value;
}

std::vector<uint8_t> CopyBytes(const void* base, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(base);
    return std::vector<uint8_t>(bytes, bytes + size);
}

void AppendRaw(std::vector<uint8_t>& out, const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

void LoadText(const StoredValue* stored, wchar_t* buffer, uint32_t sizeBytes) {
    size_t units = sizeBytes / 2;
    if (!stored || units == 0) return;
    size_t copy = stored->text.size();
    if (behaviour.fillBuffersWithoutTerminator) {
        if (copy > units) copy = units;
        std::memcpy(buffer, stored->text.data(), copy * 2);
        if (copy < units) buffer[copy] = L'\0';
    } else {
        if (copy > units - 1) copy = units - 1;
        std::memcpy(buffer, stored->text.data(), copy * 2);
        buffer[copy] = L'\0';
    }
}

}  // namespace

Behaviour& Host() {
    if (!behaviourReady) {
        behaviourReady = true;
        behaviour.configFolder = DefaultConfigFolder();
    }
    return behaviour;
}

void ResetHost() {
    std::wstring folder = Host().configFolder;
    behaviour = Behaviour();
    behaviour.configFolder = folder;
    memoryStoreReady = false;
    memoryStore.clear();
    lastCall = RecordedCall();
    loadOrSaveCalls = 0;
    getConfigPathCalls = 0;
}

std::wstring StorePath() {
    return Host().configFolder + L"\\velloquin.teststore";
}

// File layout: per value: u32 key length, key units, u32 type, then u32 text length and units
// (type 4) or an i32 (type 0).
static Store ReadStoreFile() {
    Store store;
    HANDLE file = CreateFileW(StorePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return store;
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    size_t at = 0;
    auto take32 = [&](uint32_t& v) {
        if (at + 4 > bytes.size()) return false;
        std::memcpy(&v, bytes.data() + at, 4);
        at += 4;
        return true;
    };
    auto takeText = [&](std::wstring& text) {
        uint32_t length = 0;
        if (!take32(length) || at + length * 2ull > bytes.size()) return false;
        text.assign(length, L'\0');
        if (length) std::memcpy(&text[0], bytes.data() + at, length * 2);
        at += length * 2;
        return true;
    };
    while (at < bytes.size()) {
        std::wstring key;
        StoredValue value;
        if (!takeText(key) || !take32(value.type)) break;
        if (value.type == 4) {
            if (!takeText(value.text)) break;
        } else {
            uint32_t integer = 0;
            if (!take32(integer)) break;
            value.integer = static_cast<int32_t>(integer);
        }
        store[key] = value;
    }
    return store;
}

Store ReadStore() {
    if (!behaviour.keepStoreInMemory) return ReadStoreFile();
    if (!memoryStoreReady) {
        memoryStore = ReadStoreFile();
        memoryStoreReady = true;
    }
    return memoryStore;
}

void WriteStore(const Store& store) {
    if (memoryStoreReady) memoryStore = store;
    std::vector<uint8_t> bytes;
    auto put32 = [&](uint32_t v) { AppendRaw(bytes, &v, 4); };
    auto putText = [&](const std::wstring& text) {
        put32(static_cast<uint32_t>(text.size()));
        AppendRaw(bytes, text.data(), text.size() * 2);
    };
    for (const auto& [key, value] : store) {
        putText(key);
        put32(value.type);
        if (value.type == 4) putText(value.text);
        else put32(static_cast<uint32_t>(value.integer));
    }
    HANDLE file = CreateFileW(StorePath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void ClearStore() {
    memoryStore.clear();
    DeleteFileW(StorePath().c_str());
}

int RunHostProcess(const std::wstring& gtestFilter, const std::wstring& configFolder, DWORD timeoutMs) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(exe) + L"\" --gtest_filter=" + gtestFilter;
    SetEnvironmentVariableW(L"VELLOQUIN_TEST_CONFIG_DIR", configFolder.c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(exe, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process);
    SetEnvironmentVariableW(L"VELLOQUIN_TEST_CONFIG_DIR", nullptr);
    if (!started) return -1;
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &exitCode);
    } else {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, timeoutMs);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

bool InHostChildProcess() {
    return GetEnvironmentVariableW(L"VELLOQUIN_TEST_CONFIG_DIR", nullptr, 0) > 0;
}

const RecordedCall& LastCall() {
    return lastCall;
}
int LoadOrSaveCalls() {
    return loadOrSaveCalls;
}
int GetConfigPathCalls() {
    return getConfigPathCalls;
}

namespace {

constexpr UINT kMarshalledLoadOrSave = WM_APP + 1;
constexpr UINT kMarshalledGetConfigPath = WM_APP + 2;
constexpr DWORD kMarshalWaitMs = 3000;
constexpr DWORD kMarshalStartWaitMs = 10000;

struct MarshalledGetConfigPath {
    int kind;
    wchar_t* buffer;
    int capacity;
};

HWND marshalWindow = nullptr;
DWORD marshalThreadId = 0;
HANDLE marshalThread = nullptr;
std::function<void()> marshalBeforeServing;
int marshalTimeouts = 0;

int ServeLoadOrSave(int mode, void* header);
int ServeGetConfigPath(int kind, wchar_t* buffer, int capacity);

LRESULT CALLBACK MarshalWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kMarshalledLoadOrSave) {
        if (marshalBeforeServing) marshalBeforeServing();
        return ServeLoadOrSave(static_cast<int>(wParam), reinterpret_cast<void*>(lParam));
    }
    if (message == kMarshalledGetConfigPath) {
        if (marshalBeforeServing) marshalBeforeServing();
        auto* call = reinterpret_cast<MarshalledGetConfigPath*>(lParam);
        return ServeGetConfigPath(call->kind, call->buffer, call->capacity);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI MarshalThreadMain(void* ready) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = MarshalWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VelloquinTestHostMarshal";
    RegisterClassW(&windowClass);
    marshalWindow = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
    SetEvent(static_cast<HANDLE>(ready));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    DestroyWindow(marshalWindow);
    return 0;
}

bool MarshalFromHere() {
    return marshalWindow && GetCurrentThreadId() != marshalThreadId;
}

LRESULT SendMarshalled(UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(marshalWindow, message, wParam, lParam, SMTO_NORMAL, kMarshalWaitMs, &result)) {
        ++marshalTimeouts;
        return 0;
    }
    return static_cast<LRESULT>(result);
}

}  // namespace

void StartMarshallingThread(const std::function<void()>& beforeServing) {
    marshalBeforeServing = beforeServing;
    marshalTimeouts = 0;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    marshalThread = CreateThread(nullptr, 0, MarshalThreadMain, ready, 0, &marshalThreadId);
    WaitForSingleObject(ready, kMarshalStartWaitMs);
    CloseHandle(ready);
}

void StopMarshallingThread() {
    HWND window = marshalWindow;
    marshalWindow = nullptr;
    if (window) PostThreadMessageW(marshalThreadId, WM_QUIT, 0, 0);
    if (marshalThread) {
        WaitForSingleObject(marshalThread, kMarshalStartWaitMs);
        CloseHandle(marshalThread);
    }
    marshalThread = nullptr;
    marshalThreadId = 0;
    marshalBeforeServing = nullptr;
}

int MarshalTimeouts() {
    return marshalTimeouts;
}

}  // namespace testhost

using namespace testhost;

extern "C" __declspec(dllexport) int WINAPI LoadOrSaveConfigW(int mode, void* header) {
    if (MarshalFromHere())
        return static_cast<int>(SendMarshalled(kMarshalledLoadOrSave, static_cast<WPARAM>(mode),
                                               reinterpret_cast<LPARAM>(header)));
    return testhost::ServeLoadOrSave(mode, header);
}

extern "C" __declspec(dllexport) int WINAPI GetConfigPathW(int kind, wchar_t* buffer, int capacity) {
    if (MarshalFromHere()) {
        MarshalledGetConfigPath call = {kind, buffer, capacity};
        return static_cast<int>(SendMarshalled(kMarshalledGetConfigPath, 0, reinterpret_cast<LPARAM>(&call)));
    }
    return testhost::ServeGetConfigPath(kind, buffer, capacity);
}

namespace testhost {
namespace {

// Header (32 bytes): 0 size (u64), 8 section name, 16 zero (u32), 20 entry count (u32),
// 24 entries. Entry (32 bytes): 0 key, 8 type (u32), 12 zero, 16 value, 24 size (u32), 28 zero.
int ServeLoadOrSave(int mode, void* header) {
    std::lock_guard<std::mutex> lock(serveLock);
    ++loadOrSaveCalls;
    Host();
    lastCall = RecordedCall();
    lastCall.mode = mode;
    if (!header) return 0;
    lastCall.header = CopyBytes(header, 32);
    const wchar_t* section = ReadAt<const wchar_t*>(header, 8);
    uint32_t count = ReadAt<uint32_t>(header, 20);
    const uint8_t* entries = ReadAt<const uint8_t*>(header, 24);
    if (section) lastCall.section = section;
    if (!entries || count > 64) return 0;
    lastCall.entries = CopyBytes(entries, count * 32u);

    bool succeeds = mode == 0 ? behaviour.loadSucceeds : behaviour.saveSucceeds;
    Store store = ReadStore();
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = entries + i * 32u;
        const wchar_t* key = ReadAt<const wchar_t*>(entry, 0);
        uint32_t type = ReadAt<uint32_t>(entry, 8);
        void* value = ReadAt<void*>(entry, 16);
        uint32_t size = ReadAt<uint32_t>(entry, 24);
        lastCall.keys.push_back(key ? key : L"");
        if (mode == 0) {
            lastCall.buffers.push_back(value ? CopyBytes(value, size) : std::vector<uint8_t>());
            if (succeeds && key && value) {
                auto found = store.find(key);
                const StoredValue* stored = found == store.end() ? nullptr : &found->second;
                if (type == 4) LoadText(stored, static_cast<wchar_t*>(value), size);
                else if (stored && size >= 4) std::memcpy(value, &stored->integer, 4);
            }
        } else if (key && value) {
            StoredValue stored;
            stored.type = type;
            if (type == 4) {
                stored.text = static_cast<const wchar_t*>(value);
                lastCall.savedTexts.push_back(stored.text);
            } else {
                std::memcpy(&stored.integer, value, 4);
            }
            if (succeeds) store[key] = stored;
        }
    }
    if (mode == 1 && succeeds) WriteStore(store);
    return succeeds ? 1 : 0;
}

int ServeGetConfigPath(int kind, wchar_t* buffer, int capacity) {
    std::lock_guard<std::mutex> lock(serveLock);
    ++getConfigPathCalls;
    Host();
    if (kind != 0 || !buffer || capacity <= 0 || !behaviour.getConfigPathSucceeds) return 0;
    const std::wstring& answer = behaviour.answerConfigPath ? behaviour.configPathAnswer : behaviour.configFolder;
    size_t room = static_cast<size_t>(behaviour.fillBuffersWithoutTerminator ? capacity : capacity - 1);
    size_t copy = answer.size() < room ? answer.size() : room;
    std::memcpy(buffer, answer.data(), copy * 2);
    if (copy < static_cast<size_t>(capacity)) buffer[copy] = L'\0';
    return 1;
}

}  // namespace
}  // namespace testhost
