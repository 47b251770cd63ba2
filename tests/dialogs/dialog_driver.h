#pragma once
// Drives the plug-in's dialogs as a user would, from the test thread, while the dialogs run on a
// host thread of their own with its own message loop.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace dialogs {

constexpr DWORD kWindowWaitMs = 5000;
constexpr DWORD kThreadEndWaitMs = 5000;

// One fresh plug-in with its own log folder and settings store folder.
struct PluginFixture {
    PluginFixture();
    std::wstring tempFolder;
    std::wstring LogPath() const { return tempFolder + L"\\velloquin.log"; }
    std::vector<std::wstring> Log() const { return testing_support::ReadLogEntries(LogPath()); }
    const testing_support::LoadedPlugin& plugin() const { return *plugin_; }

   private:
    std::unique_ptr<testing_support::LoadedPlugin> plugin_;  // loaded after the folders are set
};

// DVP_Configure called on a host thread that registers the common controls and runs a loop.
class ConfigSession {
   public:
    ConfigSession(const testing_support::LoadedPlugin& plugin, HWND notifyWindow = nullptr,
                  DWORD notifyData = 0, bool registerListView = true);
    ~ConfigSession();
    ConfigSession(const ConfigSession&) = delete;
    ConfigSession& operator=(const ConfigSession&) = delete;

    HWND dialog() const { return dialog_; }
    DWORD threadId() const { return threadId_; }
    // True once the host thread's loop received its quit message and ended.
    bool WaitForEnd(DWORD timeoutMs = kThreadEndWaitMs);
    // Whether a quit message was waiting right after DVP_Configure returned (only when no dialog).
    bool quitQueuedAfterFailure() const { return quitQueued_; }

   private:
    static DWORD WINAPI ThreadMain(void* param);
    const testing_support::LoadedPlugin& plugin_;
    HWND notifyWindow_;
    DWORD notifyData_;
    bool registerListView_;
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND dialog_ = nullptr;
    bool quitQueued_ = false;
};

// A top-level "#32770" window of thread with this caption, waited for; null when none came.
HWND WaitForDialog(DWORD threadId, const std::wstring& caption, DWORD timeoutMs = kWindowWaitMs);
// Any "#32770" window of thread other than those listed.
HWND WaitForOtherDialog(DWORD threadId, const std::vector<HWND>& known, DWORD timeoutMs = kWindowWaitMs);
bool WaitForGone(HWND window, DWORD timeoutMs = kWindowWaitMs);
// A message box's text.
std::wstring MessageText(HWND box);

std::wstring Text(HWND window);
std::wstring ItemText(HWND dialog, int id);
void Type(HWND dialog, int id, const std::wstring& text);
// What a click on a push button sends; posted, so a button that opens a modal window does not block
// us. (A posted BM_CLICK takes about two seconds under Wine.)
void Click(HWND dialog, int id);
// Ticks or clears a check box as a click does.
void Toggle(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);

struct Row {
    std::wstring group, exts, editorPath;
    bool operator==(const Row& other) const {
        return group == other.group && exts == other.exts && editorPath == other.editorPath;
    }
};
std::vector<Row> ListRows(HWND dialog);
void SelectRow(HWND dialog, int row);
int SelectedRow(HWND dialog);
// What the list view sends its parent on a double-click.
void SendDoubleClick(HWND dialog);

// Answers Yes to what OK asks about editors that do not exist; false when it did not ask.
bool SaveAnyway(DWORD threadId);

// Types the three fields of an open mapping editor and presses OK; true when it closed.
bool FillEditor(HWND editor, const Row& row);

// Runs this test program again with only the given test, with extra environment; its exit code.
DWORD RunSelf(const std::wstring& filter, const std::vector<std::wstring>& environment);

}  // namespace dialogs
