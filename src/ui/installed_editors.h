#pragma once
// The supported editors installed on this machine, from the registry and the usual folders.

#include <vector>

#include "ui/editor_search.h"

// App Paths, the uninstall keys, Program Files, %LOCALAPPDATA%\Programs, the host's folder, the
// folder beside it and its viewers folder, and PATH.
EditorSearchPlaces GatherSearchPlaces();

// What GatherSearchPlaces names that holds an editor's file.
std::vector<FoundEditor> FindInstalledEditors();
