#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/editor_search.h"

// Lists found in a modal dialog; true, with chosen set to its path, when the user took one.
bool ChooseFoundEditor(HWND owner, const std::vector<FoundEditor>& found, std::wstring& chosen);
