#pragma once
// Reading the mapping text out of the host's fixed-size load buffer. Free of Win32.

#include <cstddef>
#include <string>

// Units of the mapping load buffer (16384 bytes), terminating zero included.
constexpr size_t kMappingBufferUnits = 8192;
// Units of the editorParams load buffer (2048 bytes), terminating zero included.
constexpr size_t kParamsBufferUnits = 1024;

struct LoadedMappingText {
    std::wstring text;         // what is safe to parse
    std::wstring droppedLine;  // the last line, when it may have been cut by the buffer's end
    bool lineDropped = false;
};

// Takes the text up to the first zero of a buffer of capacity units whose last unit the caller
// has set to zero. A text that fills the buffer was probably longer in the host's store, so its
// last line may be cut and is dropped rather than parsed into a wrong row.
LoadedMappingText TakeLoadedMappingText(const wchar_t* buffer, size_t capacity);
