#include "log/log_format.h"

#include <cwchar>

#include "common/version.h"

#if !defined(_MSC_VER)
// The C99 formatter of mingw-w64 writes %p in lower case; the Microsoft runtime, in upper case.
// Rewrite %p so that both builds write the same log. Pointers are 64-bit like long long here.
static const wchar_t* UpperCasePointers(const wchar_t* format, wchar_t* rewritten, size_t capacity) {
    size_t out = 0;
    for (const wchar_t* p = format; *p; ++p) {
        if (out + 8 >= capacity) return format;
        if (p[0] == L'%' && p[1] == L'%') {
            rewritten[out++] = *p++;
            rewritten[out++] = *p;
        } else if (p[0] == L'%' && p[1] == L'p') {
            for (const wchar_t* q = L"%016llX"; *q; ++q) rewritten[out++] = *q;
            ++p;
        } else {
            rewritten[out++] = *p;
        }
    }
    rewritten[out] = L'\0';
    return rewritten;
}
static_assert(sizeof(void*) == sizeof(long long), "pointers are formatted as 64-bit integers");
#endif

size_t FormatTruncated(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args) {
    if (capacity == 0) return 0;
    buffer[0] = L'\0';
    buffer[capacity - 1] = L'\0';
#if defined(_MSC_VER)
    int n = _vsnwprintf_s(buffer, capacity, _TRUNCATE, format, args);
#else
    wchar_t rewritten[512];
    int n = vswprintf(buffer, capacity, UpperCasePointers(format, rewritten, 512), args);
#endif
    if (n < 0 || static_cast<size_t>(n) >= capacity) {
        buffer[capacity - 1] = L'\0';
        return wcslen(buffer);
    }
    return static_cast<size_t>(n);
}

static size_t FormatInto(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    size_t n = FormatTruncated(buffer, capacity, format, args);
    va_end(args);
    return n;
}

size_t FormatLogPrefix(wchar_t* buffer, size_t capacity, const LogTime& t) {
    return FormatInto(buffer, capacity, L"[%04d-%02d-%02d %02d:%02d:%02d.%03d] ", t.year, t.month,
                      t.day, t.hour, t.minute, t.second, t.millisecond);
}

size_t FormatLogHeader(wchar_t* buffer, size_t capacity) {
    return FormatInto(buffer, capacity, L"[velloquin] velloquin %ls\r\n", VELLOQUIN_VERSION_WIDE);
}

size_t TerminateLogMessage(wchar_t* buffer, size_t n) {
    if (n == 0 || buffer[n - 1] == L'\n') return n;
    // Cut rather than write an entry without a line end: the next entry would be glued to it.
    if (n + 2 >= kLogMessageCapacity) n = kLogMessageCapacity - 3;
    buffer[n++] = L'\r';
    buffer[n++] = L'\n';
    buffer[n] = L'\0';
    return n;
}

void ChooseLogPath(wchar_t* path, const wchar_t* tempFolder, unsigned long tempLength) {
    const size_t fileNameLength = wcslen(kLogFileName);
    const wchar_t* folder = tempFolder;
    if (tempLength == 0 || tempLength > kLogPathCapacity - 1 ||
        tempLength + fileNameLength > kLogPathCapacity - 1) {
        folder = kLogFallbackFolder;
    }
    FormatInto(path, kLogPathCapacity, L"%ls%ls", folder, kLogFileName);
}

void ChooseRotatedLogPath(wchar_t* rotated, size_t capacity, const wchar_t* path) {
    FormatInto(rotated, capacity, L"%ls%ls", path, kRotatedLogSuffix);
}
