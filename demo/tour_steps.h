#pragma once
// The files of this project that the tour shows, one per step, relative to its folder. A test
// checks that each still exists: a file moved away would leave the tour's picture at "File not
// found".

struct TourStep {
    const wchar_t* file;
    bool editorShown;  // false: no group claims the file and the pane stays empty
    bool standalone;   // opened in a stand-alone viewer window instead of the preview pane
};

constexpr TourStep kTourSteps[] = {
    {L"README.md", true, false},
    {L"src\\log\\log.cpp", true, false},
    {L"src\\log\\log.h", true, false},
    {L"CMakeLists.txt", true, false},
    {L"cmake\\mingw-w64-posix.cmake", true, false},
    {L".gitignore", false, false},
    {L"src\\viewer\\standalone_container.cpp", true, true},
};
