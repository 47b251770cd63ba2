// The log's interface with nothing behind it, so the benchmark sees the plug-in's own work alone.

#include "log/log.h"

void LogWrite(const wchar_t*) {}
void LogPrintf(const wchar_t*, ...) {}
const wchar_t* LogFilePath() {
    return L"";
}
void LogClose() {}
