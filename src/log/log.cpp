#include "log/log.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>

#include "common/handles.h"
#include "log/log_format.h"

namespace {

INIT_ONCE logInitOnce = INIT_ONCE_STATIC_INIT;
CRITICAL_SECTION logLock;  // never deleted: entries may still be written while the DLL unloads
wchar_t logPath[kLogPathCapacity];

BOOL CALLBACK LogInitOnce(PINIT_ONCE, PVOID, PVOID*) noexcept {
    InitializeCriticalSection(&logLock);
    wchar_t temp[kLogPathCapacity] = {};
    DWORD length = GetTempPathW(kLogPathCapacity, temp);
    ChooseLogPath(logPath, temp, length);
    return TRUE;
}

void LogInit() {
    InitOnceExecuteOnce(&logInitOnce, LogInitOnce, nullptr, nullptr);
}

void WriteUnits(HANDLE file, const wchar_t* text, size_t units) {
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(units * sizeof(wchar_t)), &written, nullptr);
}

void AppendEntry(const wchar_t* message) {
    UniqueHandle file(CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    LARGE_INTEGER end = {};
    SetFilePointerEx(file.get(), end, &end, FILE_END);
    if (end.QuadPart == 0) {
        const wchar_t byteOrderMark = 0xFEFF;
        WriteUnits(file.get(), &byteOrderMark, 1);
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    LogTime time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                    now.wMilliseconds};
    wchar_t prefix[kLogPrefixCapacity];
    size_t prefixLength = FormatLogPrefix(prefix, kLogPrefixCapacity, time);
    if (prefixLength > 0) WriteUnits(file.get(), prefix, prefixLength);
    WriteUnits(file.get(), message, wcslen(message));
}

}  // namespace

void LogWrite(const wchar_t* message) {
    DWORD lastError = GetLastError();
    LogInit();
    if (message) {
        EnterCriticalSection(&logLock);
        AppendEntry(message);
        LeaveCriticalSection(&logLock);
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
