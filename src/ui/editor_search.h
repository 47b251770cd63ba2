#pragma once
// Where the supported editors may be installed, and which of those places hold one. Free of the
// registry and the file system: the caller gathers the places and answers whether a file exists.

#include <functional>
#include <string>
#include <vector>

// One entry of the installed programs' list (the uninstall keys).
struct InstalledProgram {
    std::wstring displayName;
    std::wstring installLocation;  // a folder; may be empty or quoted
    std::wstring displayIcon;      // a file, maybe quoted and followed by ",index"
};

struct EditorSearchPlaces {
    std::vector<std::wstring> appPaths;  // the App Paths values: an editor's file each
    std::vector<InstalledProgram> programs;
    std::vector<std::wstring> programFolders;  // each editor in a folder named after it (Program Files...)
    std::vector<std::wstring> pathFolders;     // each editor right inside (PATH)
};

struct FoundEditor {
    std::wstring name;  // the family's name: Notepad4, Notepad++...
    std::wstring path;
};

// The file a registry value names: without quotes around it and without a ",index" after it.
std::wstring RegisteredFilePath(const std::wstring& value);

// Every file of a supported editor the places may hold, in the order of the places.
std::vector<std::wstring> EditorCandidates(const EditorSearchPlaces& places);

// The candidates that exist, each once, grouped by family in a fixed order. Network paths are not
// asked about: a share that does not answer would hold the dialog until the network gives up.
std::vector<FoundEditor> FindEditors(const EditorSearchPlaces& places,
                                     const std::function<bool(const std::wstring& path)>& fileExists);
