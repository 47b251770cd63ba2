#include "log/log.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>

#include "log/log_format.h"

namespace {

// The file stays open between entries: an open and a close per entry cost most of a host call,
// and every close of a written file invites the virus scanner. Another process (or the user) may
// delete or rename the file meanwhile, so each entry first checks that the path still names the
// open file. No lock is ever deleted and no resource is created but the file handle, so an
// unload leaves nothing behind.
INIT_ONCE logInitOnce = INIT_ONCE_STATIC_INIT;
SRWLOCK logLock = SRWLOCK_INIT;
wchar_t logPath[kLogPathCapacity];
wchar_t rotatedPath[kLogPathCapacity + 2];
volatile bool processExiting = false;
HANDLE logFile = INVALID_HANDLE_VALUE;  // read and written only under logLock
ULONGLONG pathCheckTick = 0;            // when the path last named the open file

BOOL CALLBACK LogInitOnce(PINIT_ONCE, PVOID, PVOID*) noexcept {
    wchar_t temp[kLogPathCapacity] = {};
    DWORD length = GetTempPathW(kLogPathCapacity, temp);
    ChooseLogPath(logPath, temp, length);
    ChooseRotatedLogPath(rotatedPath, kLogPathCapacity + 2, logPath);
    return TRUE;
}

void LogInit() {
    InitOnceExecuteOnce(&logInitOnce, LogInitOnce, nullptr, nullptr);
}

void CloseLogFile() {
    if (logFile != INVALID_HANDLE_VALUE) CloseHandle(logFile);
    logFile = INVALID_HANDLE_VALUE;
}

bool OpenLogFile() {
    logFile = CreateFileW(logPath, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    return logFile != INVALID_HANDLE_VALUE;
}

// True when the open file is still the one logPath names; its size goes to size. A deletion shows
// on the handle itself (Windows reports no link left or a pending delete). A rename shows only at
// the path, which then is empty or names a new file of another size; that query costs more than
// the write, so it is made once per tick of the system clock, not for each entry of a burst.
bool OpenFileIsStillNamed(long long& size) {
    FILE_STANDARD_INFO standard = {};
    if (!GetFileInformationByHandleEx(logFile, FileStandardInfo, &standard, sizeof(standard))) return false;
    if (standard.DeletePending || standard.NumberOfLinks == 0) return false;
    size = standard.EndOfFile.QuadPart;
    ULONGLONG now = GetTickCount64();
    if (now == pathCheckTick) return true;
    WIN32_FILE_ATTRIBUTE_DATA named = {};
    if (!GetFileAttributesExW(logPath, GetFileExInfoStandard, &named)) return false;
    long long namedSize = (static_cast<long long>(named.nFileSizeHigh) << 32) | named.nFileSizeLow;
    if (namedSize != size) return false;
    pathCheckTick = now;
    return true;
}

long long OpenFileSize() {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(logFile, &size)) return -1;
    return size.QuadPart;
}

// Opens the log file when needed and answers its size, or -1 when it cannot be opened.
long long PrepareLogFile() {
    long long size = 0;
    if (logFile != INVALID_HANDLE_VALUE && OpenFileIsStillNamed(size)) {
        if (size <= kLogRotateBytes) return size;
        // A rename that fails (another program holds the old file without delete sharing) is
        // tried again at the next entry; meanwhile the file keeps growing.
        if (!MoveFileExW(logPath, rotatedPath, MOVEFILE_REPLACE_EXISTING)) return size;
    }
    CloseLogFile();
    if (!OpenLogFile()) return -1;
    pathCheckTick = GetTickCount64();
    return OpenFileSize();
}

void WriteUnits(const wchar_t* text, size_t units) {
    DWORD written = 0;
    WriteFile(logFile, text, static_cast<DWORD>(units * sizeof(wchar_t)), &written, nullptr);
}

size_t CurrentPrefix(wchar_t* buffer) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LogTime time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
    return FormatLogPrefix(buffer, kLogPrefixCapacity, time);
}

// One write per entry, so that entries of other processes land between entries, never inside.
// Only a LogWrite text longer than any formatted message needs a second write.
void AppendEntry(const wchar_t* message) {
    long long size = PrepareLogFile();
    if (size < 0) return;
    wchar_t entry[kLogEntryCapacity];
    size_t length = 0;
    if (size == 0) {
        entry[length++] = kLogByteOrderMark;
        length += CurrentPrefix(entry + length);
        length += FormatLogHeader(entry + length, kLogHeaderCapacity);
    }
    length += CurrentPrefix(entry + length);
    size_t messageLength = wcslen(message);
    size_t copied = messageLength < kLogEntryCapacity - length ? messageLength : kLogEntryCapacity - length;
    wmemcpy(entry + length, message, copied);
    WriteUnits(entry, length + copied);
    if (copied < messageLength) WriteUnits(message + copied, messageLength - copied);
}

// Another thread may have died holding the lock at process exit: its entry is lost, not the exit.
bool AcquireLogLock() {
    if (processExiting) return TryAcquireSRWLockExclusive(&logLock) != FALSE;
    AcquireSRWLockExclusive(&logLock);
    return true;
}

}  // namespace

void LogWrite(const wchar_t* message) {
    DWORD lastError = GetLastError();
    LogInit();
    if (message && AcquireLogLock()) {
        AppendEntry(message);
        ReleaseSRWLockExclusive(&logLock);
    }
    SetLastError(lastError);
}

void LogPrintf(const wchar_t* format, ...) {
    DWORD lastError = GetLastError();
    LogInit();
    if (format) {
        wchar_t message[kLogMessageCapacity];
        va_list args;
        va_start(args, format);
        size_t n = FormatTruncated(message, kLogMessageCapacity, format, args);
        va_end(args);
        TerminateLogMessage(message, n);
        LogWrite(message);
    }
    SetLastError(lastError);
}

const wchar_t* LogFilePath() {
    LogInit();
    return logPath;
}

void LogEnterProcessExit() {
    processExiting = true;
}

void LogClose() {
    DWORD lastError = GetLastError();
    AcquireSRWLockExclusive(&logLock);
    CloseLogFile();
    ReleaseSRWLockExclusive(&logLock);
    SetLastError(lastError);
}
