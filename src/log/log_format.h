#pragma once
// Portable log formatting, free of Win32 calls so that it is tested directly.

#include <cstdarg>
#include <cstddef>

constexpr size_t kLogMessageCapacity = 2048;  // units, terminator included
constexpr size_t kLogPrefixCapacity = 64;
constexpr size_t kLogPathCapacity = 260;
constexpr wchar_t kLogFileName[] = L"velloquin.log";
constexpr wchar_t kLogFallbackFolder[] = L"C:\\";
constexpr wchar_t kRotatedLogSuffix[] = L".1";
constexpr wchar_t kLogByteOrderMark = 0xFEFF;
// A file that has passed this size is renamed to velloquin.log.1 and a new one started.
constexpr long long kLogRotateBytes = 8LL * 1024 * 1024;
constexpr size_t kLogHeaderCapacity = 64;
// One entry as written: byte-order mark, the version line with its prefix, prefix and the
// longest formatted message.
constexpr size_t kLogEntryCapacity = 1 + 2 * kLogPrefixCapacity + kLogHeaderCapacity + kLogMessageCapacity;

struct LogTime {
    int year, month, day, hour, minute, second, millisecond;
};

// Formats with truncation to capacity - 1 units; always terminates. Returns the kept length.
size_t FormatTruncated(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args);

// "[YYYY-MM-DD hh:mm:ss.mmm] " into buffer; returns its length.
size_t FormatLogPrefix(wchar_t* buffer, size_t capacity, const LogTime& time);

// "[velloquin] velloquin <version>" with CR LF, the first line of each new file; returns its length.
size_t FormatLogHeader(wchar_t* buffer, size_t capacity);

// Gives a formatted message of length n (in a kLogMessageCapacity buffer) its line end:
// nothing for an empty message or one that ends in LF; otherwise CR LF, cutting the message to
// capacity - 3 units first when the line end would not fit. Returns the new length.
size_t TerminateLogMessage(wchar_t* buffer, size_t n);

// Chooses the folder of the log file from what the temporary-folder query answered
// (its returned length and text). Falls back to "C:\" when the query failed, its text is
// too long, or the file name would not fit behind it. Writes the full file path into path
// (kLogPathCapacity units).
void ChooseLogPath(wchar_t* path, const wchar_t* tempFolder, unsigned long tempLength);

// The name the full log file is renamed to: path plus ".1" (capacity units, terminator included).
void ChooseRotatedLogPath(wchar_t* rotated, size_t capacity, const wchar_t* path);
