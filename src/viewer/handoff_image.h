#pragma once
// What an editor's executable says about itself: the machine type of its PE image and the file
// version of its version resource. Parsed from the file's bytes, so that it is checked without
// any system call; ReadEditorImage reads the file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t kMachineX64 = 0x8664;  // IMAGE_FILE_MACHINE_AMD64

struct EditorImage {
    bool isPe = false;                   // a PE image whose headers could be read
    uint16_t machine = 0;                // IMAGE_FILE_HEADER.Machine
    bool hasVersion = false;             // a version resource with a fixed file version was found
    uint16_t version[4] = {0, 0, 0, 0};  // FILEVERSION a,b,c,d
};

EditorImage ParseEditorImage(const std::vector<uint8_t>& file);
// The executable at path; isPe is false when it cannot be read.
EditorImage ReadEditorImage(const std::wstring& path);

// x64 Notepad4 from 24.09 on (FILEVERSION 24,9,...) reads the 0xFB10 record with the path at
// offset 48; 32-bit builds and older x64 builds read it elsewhere.
bool Notepad4ReadsCurrentRecord(const EditorImage& image);
