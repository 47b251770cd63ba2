#pragma once
// The stand-in editors (build/standins/) and the journal they write: where they are, what they
// recorded, and ending every process a test started.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/handles.h"

namespace standin {

// build\standins\<fileName>, e.g. StandinPath(L"notepad3.exe"); an absolute path (a StandinCopy) as
// it is.
std::wstring StandinPath(const std::wstring& fileName);

struct JournalEntry {
    DWORD pid = 0;
    uint64_t tick = 0;   // GetTickCount64 of the stand-in
    std::string event;   // start, window, copydata, dropfiles, scintilla, size, close, prompt, hang, exit...
    std::string detail;  // the rest of the line (UTF-8)
};

struct CopyData {
    uint64_t dwData = 0;
    uint32_t cbData = 0;
    std::vector<uint8_t> bytes;
};

std::vector<JournalEntry> ReadJournal(const std::wstring& path);
// A copy of build\standins\<fileName> alone in a fresh temporary folder, so that what it keeps
// beside itself belongs to one test; returns the copy's path.
std::wstring StandinCopy(const std::wstring& fileName);

// The entries of one event, optionally only those of one process (pid 0: all).
std::vector<JournalEntry> Events(const std::vector<JournalEntry>& journal, const std::string& event,
                                 DWORD pid = 0);
// The command line the stand-in received ("start" entry), or empty.
std::wstring CommandLineOf(const std::vector<JournalEntry>& journal, DWORD pid = 0);
// Decodes a "copydata" entry.
bool ParseCopyData(const JournalEntry& entry, CopyData& out);

// For the scope: every stand-in started by this process journals into a fresh file (through the
// inherited environment variable VELLOQUIN_STANDIN_JOURNAL). At the end every process still
// running that this process started is terminated.
class JournalScope {
   public:
    explicit JournalScope(const std::wstring& tag);
    ~JournalScope();
    JournalScope(const JournalScope&) = delete;
    JournalScope& operator=(const JournalScope&) = delete;

    const std::wstring& path() const { return path_; }
    std::vector<JournalEntry> Read() const { return ReadJournal(path_); }
    // Polls the journal until an entry of the event exists (pid 0: any process).
    bool WaitForEvent(const std::string& event, DWORD timeoutMs, DWORD pid = 0) const;

   private:
    std::wstring path_;
};

// The window a "window" (main window) or "decoy" entry names.
HWND WindowOf(const JournalEntry& entry);

// Starts a stand-in directly (not through the plug-in): "<path>" <arguments>, with a show command.
struct StartedProcess {
    UniqueHandle process;
    DWORD pid = 0;
};
StartedProcess StartStandin(const std::wstring& fileName, const std::wstring& arguments,
                            WORD showCommand = SW_HIDE);

// Terminates every running process whose parent is this process; returns how many it ended.
int TerminateChildProcesses();
bool ProcessRunning(DWORD pid);

}  // namespace standin
