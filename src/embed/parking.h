#pragma once
// Where kept editors wait: inside a hidden window of ours. Another instance of an editor (the user
// opening a file from Explorer) looks for a top-level window of its class (FindWindow) and would
// hand its file to a kept one; a child window is never found, while a hidden, an owned or (under
// Wine) a message-only top-level window is.

#include <windows.h>

// Makes window a child of the parking window, which a thread of its own holds for as long as it has
// children (it ends a moment after the last one left). Waits for the editor's thread: call it on a
// worker. False when the parking window could not be made.
bool ParkWindow(HWND window);
