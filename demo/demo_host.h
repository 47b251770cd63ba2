#pragma once
// The try-it host: a small file manager around velloquin.dll. It must run as dopus.exe, because
// the plug-in finds its host's services by that module name.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Host messages of the viewer-plugin interface.
constexpr UINT kMsgLoadW = 0x8F02;
constexpr UINT kMsgClear = 0x8F1B;
constexpr UINT kMsgReinitialize = 0x8F1F;

// Flags of DVP_CreateViewer: bit 2 set means the viewer lives in the preview pane.
constexpr DWORD kViewerInPane = 4;

struct Plugin {
    HMODULE module = nullptr;
    BOOL(WINAPI* identify)(void*) = nullptr;
    BOOL(WINAPI* identifyFile)(HWND, LPWSTR, void*, HANDLE) = nullptr;
    HWND(WINAPI* createViewer)(HWND, LPRECT, DWORD) = nullptr;
    HWND(WINAPI* configure)(HWND, HWND, DWORD) = nullptr;
    LRESULT(WINAPI* about)(HWND) = nullptr;
};

struct PluginIdentity {
    std::wstring name;
    std::wstring description;
    std::wstring handledExtensions;
};

// host_settings.cpp
std::wstring ConfigFolder();
std::wstring SettingsFilePath();
void StoreSettings(const std::wstring& mappings, const std::wstring& editorParams, bool maximize, bool focus);
void StoreStarterSettings(const std::wstring& standinFolder);

// demo_host.cpp
std::wstring ExeFolder();
std::wstring ReadUtf16File(const std::wstring& path);
void WriteUtf16File(const std::wstring& path, const std::wstring& text);
bool LoadPlugin(Plugin& plugin);
bool IdentifyPlugin(const Plugin& plugin, PluginIdentity& identity);
// The description the plug-in gives a file, or empty when it does not show it.
std::wstring IdentifyFile(const Plugin& plugin, const std::wstring& path);

struct HostWindows {
    HWND main = nullptr;
    HWND fileList = nullptr;
    HWND pane = nullptr;    // the host's preview pane
    HWND viewer = nullptr;  // the plug-in's viewer window inside the pane
    HWND status = nullptr;
    std::wstring folder;
    std::vector<std::wstring> files;
};

HostWindows& Host();
const Plugin& ThePlugin();
bool CreateHostWindow(const std::wstring& folder, int showCommand);
// Shows a file the way the host does on selection: identify, then load or clear.
LRESULT PreviewFile(const std::wstring& path);
// Marks a file as selected in the list (when it is listed) and shows a status line, as a user's
// selection would.
void ShowSelection(const std::wstring& name, const std::wstring& status);
// Opens a file in a stand-alone viewer window of its own; returns that window.
HWND OpenStandaloneViewer(const std::wstring& path);
int RunMessageLoop();
// Under Wine an embedded editor's pixels live only on the X server, and each repaint of ours
// covers them with our own stale ones: once our windows have finished painting, the editors
// inside top paint again, last.
void RepaintEmbeddedEditors(HWND top);
// Opens the plug-in's settings dialog on a thread of its own; returns that thread.
HANDLE OpenSettings(HWND owner);

// tour.cpp: the scripted tour without a display of one's own.
int RunTour(const std::wstring& folder, const std::wstring& outFolder, const std::wstring& standinFolder);
