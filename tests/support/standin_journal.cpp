#include "support/standin_journal.h"

#include <tlhelp32.h>

#include <cstdlib>

#include "support/test_support.h"

namespace standin {

namespace {

constexpr DWORD kTerminateWaitMs = 2000;

bool ParseLine(const std::string& line, JournalEntry& entry) {
    size_t first = line.find(' ');
    if (first == std::string::npos) return false;
    size_t second = line.find(' ', first + 1);
    if (second == std::string::npos) return false;
    size_t third = line.find(' ', second + 1);
    entry.pid = static_cast<DWORD>(std::strtoul(line.substr(0, first).c_str(), nullptr, 10));
    entry.tick = std::strtoull(line.substr(first + 1, second - first - 1).c_str(), nullptr, 10);
    entry.event =
        line.substr(second + 1, third == std::string::npos ? std::string::npos : third - second - 1);
    entry.detail = third == std::string::npos ? std::string() : line.substr(third + 1);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::wstring StandinPath(const std::wstring& fileName) {
    if (fileName.size() > 1 && fileName[1] == L':') return fileName;
    return testing_support::BuildDir() + L"\\standins\\" + fileName;
}

std::wstring StandinCopy(const std::wstring& fileName) {
    const std::wstring copy = testing_support::MakeTempDir(L"standin") + L"\\" + fileName;
    return CopyFileW(StandinPath(fileName).c_str(), copy.c_str(), TRUE) ? copy : std::wstring();
}

std::vector<JournalEntry> ReadJournal(const std::wstring& path) {
    std::vector<uint8_t> bytes = testing_support::ReadFileBytes(path);
    std::string text(bytes.begin(), bytes.end());
    std::vector<JournalEntry> journal;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) break;  // a line still being written
        JournalEntry entry;
        if (ParseLine(text.substr(start, end - start), entry)) journal.push_back(entry);
        start = end + 1;
    }
    return journal;
}

std::vector<JournalEntry> Events(const std::vector<JournalEntry>& journal, const std::string& event,
                                 DWORD pid) {
    std::vector<JournalEntry> out;
    for (const JournalEntry& entry : journal) {
        if (entry.event == event && (pid == 0 || entry.pid == pid)) out.push_back(entry);
    }
    return out;
}

std::wstring CommandLineOf(const std::vector<JournalEntry>& journal, DWORD pid) {
    std::vector<JournalEntry> starts = Events(journal, "start", pid);
    return starts.empty() ? std::wstring() : testing_support::Narrow2Wide(starts.front().detail);
}

bool ParseCopyData(const JournalEntry& entry, CopyData& out) {
    if (entry.event != "copydata") return false;
    char* end = nullptr;
    out.dwData = std::strtoull(entry.detail.c_str(), &end, 16);
    if (!end || *end != ' ') return false;
    out.cbData = static_cast<uint32_t>(std::strtoul(end + 1, &end, 10));
    if (!end) return false;
    std::string hex = *end == ' ' ? std::string(end + 1) : std::string();
    out.bytes.clear();
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        int high = HexDigit(hex[i]);
        int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        out.bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return out.bytes.size() == out.cbData;
}

HWND WindowOf(const JournalEntry& entry) {
    if (entry.event != "window" && entry.event != "decoy" && entry.event != "question") return nullptr;
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(entry.detail.c_str(), nullptr, 16)));
}

StartedProcess StartStandin(const std::wstring& fileName, const std::wstring& arguments, WORD showCommand) {
    std::wstring path = StandinPath(fileName);
    std::wstring commandLine = L"\"" + path + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showCommand;
    PROCESS_INFORMATION info = {};
    StartedProcess started;
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return started;
    CloseHandle(info.hThread);
    started.process.reset(info.hProcess);
    started.pid = info.dwProcessId;
    return started;
}

JournalScope::JournalScope(const std::wstring& tag)
    : path_(testing_support::MakeTempDir(tag) + L"\\journal.txt") {
    SetEnvironmentVariableW(L"VELLOQUIN_STANDIN_JOURNAL", path_.c_str());
}

JournalScope::~JournalScope() {
    TerminateChildProcesses();
    SetEnvironmentVariableW(L"VELLOQUIN_STANDIN_JOURNAL", nullptr);
}

bool JournalScope::WaitForEvent(const std::string& event, DWORD timeoutMs, DWORD pid) const {
    return testing_support::WaitFor([&] { return !Events(Read(), event, pid).empty(); }, timeoutMs);
}

int TerminateChildProcesses() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    int ended = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID != GetCurrentProcessId() ||
            entry.th32ProcessID == GetCurrentProcessId())
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!process) continue;
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT && TerminateProcess(process, 1)) {
            WaitForSingleObject(process, kTerminateWaitMs);
            ++ended;
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return ended;
}

bool ProcessRunning(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return false;
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

}  // namespace standin
