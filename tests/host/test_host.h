#pragma once
// The test stand-in for the host: every test program named dopus.exe compiles this in, so the
// plug-in finds LoadOrSaveConfigW and GetConfigPathW among the program's exports.
//
// The settings store reads the plug-in's record through the host's 64-bit layout, offsets
// written out as numbers, and keeps the values in a file in the configuration folder, so that
// what one host process saves the next one loads.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

extern "C" {
__declspec(dllexport) int WINAPI LoadOrSaveConfigW(int mode, void* header);
__declspec(dllexport) int WINAPI GetConfigPathW(int kind, wchar_t* buffer, int capacity);
}

namespace testhost {

struct Behaviour {
    // The configuration folder; defaults to %VELLOQUIN_TEST_CONFIG_DIR% or a new temp folder.
    std::wstring configFolder;
    // What GetConfigPathW answers instead of configFolder, when answerConfigPath is set.
    bool answerConfigPath = false;
    std::wstring configPathAnswer;
    bool getConfigPathSucceeds = true;
    bool loadSucceeds = true;
    bool saveSucceeds = true;
    // A careless host: texts fill the whole buffer and get no terminating zero when too long.
    bool fillBuffersWithoutTerminator = false;
    // Reads the store file once and then serves it from memory (saves still write the file).
    bool keepStoreInMemory = false;
};

Behaviour& Host();
void ResetHost();  // default behaviour, counters cleared; the store file is kept

struct StoredValue {
    uint32_t type = 0;           // 4 text, 0 integer
    std::wstring text;           // type 4
    int32_t integer = 0;         // type 0
};
using Store = std::map<std::wstring, StoredValue>;  // key -> value, section "velloquin"

Store ReadStore();
void WriteStore(const Store& store);
void ClearStore();
std::wstring StorePath();

// What the last LoadOrSaveConfigW call received, copied byte for byte.
struct RecordedCall {
    int mode = -1;
    std::vector<uint8_t> header;                // 32 bytes
    std::vector<uint8_t> entries;               // count * 32 bytes
    std::wstring section;                       // text at header offset 8
    std::vector<std::wstring> keys;             // text at entry offset 0
    std::vector<std::vector<uint8_t>> buffers;  // load: each value buffer as received, before the host writes
    std::vector<std::wstring> savedTexts;       // save: type-4 values as received
};
const RecordedCall& LastCall();
int LoadOrSaveCalls();
int GetConfigPathCalls();

// A host whose two functions hand each call to a thread of their own (as a host may marshal to its
// UI thread) with SendMessageTimeoutW and a 3 s bound; that thread runs beforeServing first (for
// example: take a lock the plug-in may hold). Calls made on that thread itself are served there.
void StartMarshallingThread(const std::function<void()>& beforeServing);
void StopMarshallingThread();
// Marshalled calls that did not come back within the bound since StartMarshallingThread.
int MarshalTimeouts();

// Runs this test program again with --gtest_filter=gtestFilter and VELLOQUIN_TEST_CONFIG_DIR set to
// configFolder, so that a second host process shares the store. Returns its exit code, or -1
// when it could not start or did not end within timeoutMs (it is then terminated).
int RunHostProcess(const std::wstring& gtestFilter, const std::wstring& configFolder, DWORD timeoutMs);
// True in a program started by RunHostProcess.
bool InHostChildProcess();

}  // namespace testhost
