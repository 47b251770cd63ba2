#pragma once

#include <windows.h>

#include "config/plugin_config.h"

// Runs the modal mapping editor on mapping under title; true when the user confirmed with OK.
bool EditMapping(HWND owner, GroupMapping& mapping, const wchar_t* title);
