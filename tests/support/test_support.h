#pragma once
// Helpers shared by the test programs: folders, files, the log, bounded waits, the real DLL.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

std::wstring ExeDir();    // folder of the running test program
std::wstring BuildDir();  // the build folder (two levels above the test program)
std::wstring DllPath();   // BuildDir() + "\velloquin.dll"

// A fresh, empty folder under the system temporary folder, unique per call.
std::wstring MakeTempDir(const std::wstring& tag);
// Points TMP and TEMP of this process at folder (the plug-in's log goes there).
void UseTempFolder(const std::wstring& folder);

std::vector<uint8_t> ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const void* data, size_t size);
bool WriteFileText(const std::wstring& path, const std::string& utf8);
bool FileExists(const std::wstring& path);
// Creates each absolute file path that does not exist yet (and its folder, one level), holding its
// own path; the files the loading tests name exist, as the host's selection does.
void EnsureFiles(const std::vector<std::wstring>& paths);

// Pixels of the window's client area that differ from background (read back from the screen).
int CountPixelsOtherThan(HWND window, COLORREF background);

// The log file's entries: decoded from UTF-16 (byte-order mark dropped), split at CR LF,
// each entry with its timestamp prefix removed; a file's first line, which names the version, is left out.
std::vector<std::wstring> ReadLogEntries(const std::wstring& logPath);
// True when some entry equals line.
bool LogHas(const std::vector<std::wstring>& entries, const std::wstring& line);
// Number of entries that begin with prefix.
int CountLogEntriesStartingWith(const std::vector<std::wstring>& entries, const std::wstring& prefix);
// Index of the first entry equal to line at or after start, or -1.
int FindLogEntry(const std::vector<std::wstring>& entries, const std::wstring& line, int start = 0);

// Polls condition until it holds or timeoutMs passed; dispatches this thread's messages meanwhile.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs);
void PumpMessages();

std::wstring Narrow2Wide(const std::string& text);
std::string Wide2Utf8(const std::wstring& text);

// velloquin.dll loaded for the scope; FreeLibrary gives the next load fresh process-wide state.
class LoadedPlugin {
public:
    LoadedPlugin();
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    HMODULE module() const { return module_; }
    template <typename Fn>
    Fn Get(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

}  // namespace testing_support
