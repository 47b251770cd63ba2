#pragma once
// Small helpers shared by the configuration dialog and the mapping editor.

#include <windows.h>

#include <string>

// The whole text of a dialog control, of any length.
std::wstring ReadControlText(HWND dialog, int controlId);

// Icon resource 1 as the dialog's small and big icon. Shared icons: nothing to destroy.
void SetDialogIcons(HWND dialog);

// A message box with the plug-in's caption.
int ShowMessage(HWND owner, const wchar_t* text, UINT type);
