// The scripted tour: the try-it host shows a few of the project's own files the way a user would
// select them, and prints in plain words what the plug-in did with each.

#include "demo_host.h"
#include "tour_steps.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kDialogTimeoutMs = 10000;
constexpr DWORD kPictureTimeoutMs = 10000;
constexpr DWORD kHostPaintSettleMs = 150;

std::wstring outFolder;

void Print(const std::wstring& text) {
    std::string utf8;
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(n));
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], n, nullptr, nullptr);
    utf8 += "\n";
    fwrite(utf8.data(), 1, utf8.size(), stdout);
    fflush(stdout);
}

void PumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

template <typename Condition>
bool PumpUntil(Condition condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= timeoutMs) return false;
        PumpFor(10);
    }
    return true;
}

std::wstring LogPath() {
    return outFolder + L"\\velloquin.log";
}

std::vector<std::wstring> LogEntries() {
    std::wstring text = ReadUtf16File(LogPath());
    std::vector<std::wstring> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        std::wstring entry = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (entry.size() >= 26 && entry[0] == L'[') entry.erase(0, 26);
        entries.push_back(entry);
        if (end == std::wstring::npos) break;
        start = end + 2;
    }
    return entries;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::wstring ProcessImage(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return L"?";
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    QueryFullProcessImageNameW(process, 0, image, &size);
    CloseHandle(process);
    return image;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring Describe(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    wchar_t title[128] = {};
    GetWindowTextW(window, title, 128);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t line[512];
    swprintf(line, 512, L"0x%08llX class=%ls %ldx%ld pid=%lu%ls%ls%ls", static_cast<unsigned long long>(
                 reinterpret_cast<uintptr_t>(window)), ClassOf(window).c_str(), rect.right - rect.left,
             rect.bottom - rect.top, processId, IsWindowVisible(window) ? L" visible" : L" hidden",
             title[0] ? L" title=" : L"", title);
    return line;
}

void PrintWindowTree(HWND window, int depth) {
    Print(std::wstring(4 + depth * 2, L' ') + Describe(window));
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        PrintWindowTree(child, depth + 1);
    }
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A picture of a window as the X server shows it: the tour writes the window's place into
// NAME.ready, the demo script takes the picture and answers with NAME.done.
bool RequestPicture(const RECT& rect, const std::wstring& name) {
    char geometry[96];
    int length = snprintf(geometry, sizeof(geometry), "%ldx%ld+%ld+%ld", rect.right - rect.left,
                          rect.bottom - rect.top, rect.left, rect.top);
    std::wstring ready = outFolder + L"\\" + name + L".ready";
    std::wstring writing = ready + L".part";
    HANDLE file = CreateFileW(writing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(file, geometry, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
    return MoveFileW(writing.c_str(), ready.c_str()) != FALSE;
}

bool PictureTaken(const std::wstring& name) {
    std::wstring done = outFolder + L"\\" + name + L".done";
    if (!FileExists(done)) return false;
    DeleteFileW(done.c_str());
    DeleteFileW((outFolder + L"\\" + name + L".ready").c_str());
    return true;
}

// The wait for the picture keeps the window answering messages; the editors inside it paint last.
bool SaveScreenshot(HWND window, const std::wstring& name) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return false;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(kHostPaintSettleMs);
    RepaintEmbeddedEditors(window);
    if (!RequestPicture(rect, name)) return false;
    bool taken = PumpUntil([&] { return PictureTaken(name); }, kPictureTimeoutMs);
    if (taken) Print(L"    picture: " + name + L".png");
    return taken;
}

struct StepOutcome {
    std::wstring group, editor, how;
    bool shown = false;
};

// Reads what the plug-in logged for one step: the lookup, and whether it started the editor or
// handed the file to the running one.
StepOutcome ReadOutcome(size_t firstEntry) {
    StepOutcome outcome;
    std::vector<std::wstring> entries = LogEntries();
    const std::wstring lookup = L"[PluginConfig::FindViewerForFile]   ext [";
    for (size_t i = firstEntry; i < entries.size(); ++i) {
        const std::wstring& entry = entries[i];
        if (StartsWith(entry, lookup)) {
            size_t group = entry.find(L"-> group [");
            size_t viewer = entry.find(L"] -> viewer [");
            if (group != std::wstring::npos && viewer != std::wstring::npos) {
                outcome.group = entry.substr(group + 10, viewer - group - 10);
                outcome.editor = entry.substr(viewer + 13, entry.size() - viewer - 14);
            }
        } else if (StartsWith(entry, L"[LaunchAndEmbed] CreateProcessW OK")) {
            std::wstring pid = entry.substr(entry.find(L"pid="));
            outcome.how = L"started the editor (" + pid.substr(0, pid.find(L' ')) + L")";
        } else if (StartsWith(entry, L"[LoadFile] LoadFile (")) {
            outcome.how = L"handed the file to the running editor: " + entry.substr(20, entry.find(L')') - 19);
        } else if (StartsWith(entry, L"[KillChild] KillChild enter") && outcome.how.empty()) {
            outcome.how = L"closed the previous editor";
        }
    }
    return outcome;
}

std::wstring JournalPath() {
    return outFolder + L"\\editor-journal.txt";
}

// The stand-in editors write what they receive to a journal; show the lines of this step.
void PrintEditorReceived(size_t journalStart, HWND editor) {
    std::string bytes;
    HANDLE file = CreateFileW(JournalPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[65536];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
        CloseHandle(file);
    }
    DWORD editorProcess = 0;
    if (editor) GetWindowThreadProcessId(editor, &editorProcess);
    bool any = false;
    if (bytes.size() > journalStart) {
        std::string fresh = bytes.substr(journalStart);
        size_t start = 0;
        while (start < fresh.size()) {
            size_t end = fresh.find('\n', start);
            std::string line = fresh.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!line.empty()) {
                if (line.size() > 150) line = line.substr(0, 150) + "...";
                int n = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0);
                std::wstring wide(static_cast<size_t>(n), L'\0');
                MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, &wide[0], n);
                wide.resize(wcslen(wide.c_str()));
                // Journal lines begin with the writer's process id.
                bool previous = editorProcess != 0 && wcstoul(wide.c_str(), nullptr, 10) != editorProcess;
                Print((previous ? L"      (the previous editor) " : L"      ") + wide);
                any = true;
            }
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    if (!any && editor) {
        wchar_t title[256] = {};
        GetWindowTextW(editor, title, 256);
        Print(std::wstring(L"      (a real editor: its window title now reads \"") + title + L"\")");
    }
}

size_t JournalSize() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(JournalPath().c_str(), GetFileExInfoStandard, &data)) return 0;
    return data.nFileSizeLow;
}

// Returns whether an editor is embedded for the file.
bool ShowStep(int number, HWND viewer, const std::wstring& relativePath, const std::wstring& folder) {
    std::wstring path = folder + L"\\" + relativePath;
    Print(L"");
    Print(L"Step " + std::to_wstring(number) + L": the user selects " + relativePath);
    size_t firstEntry = LogEntries().size();
    size_t journalStart = JournalSize();
    std::wstring description = IdentifyFile(ThePlugin(), path);
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    LRESULT shown = 0;
    if (description.empty()) {
        SendMessageW(viewer, kMsgClear, 0, 0);
    } else {
        shown = SendMessageW(viewer, kMsgLoadW, 0, reinterpret_cast<LPARAM>(path.c_str()));
    }
    QueryPerformanceCounter(&after);
    double milliseconds = 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) / static_cast<double>(frequency.QuadPart);
    ShowSelection(relativePath, description.empty() ? L"No editor configured for " + path
                                                    : (shown ? L"Shown: " : L"Could not show: ") + path +
                                                          L"   [" + description + L"]");
    PumpFor(100);
    StepOutcome outcome = ReadOutcome(firstEntry);
    if (description.empty()) {
        Print(L"    DVP_IdentifyFileW says no: no group claims this extension; the host sends DVPLUGINMSG_CLEAR"
              L" and the pane is empty (" + outcome.how + L").");
        return false;
    }
    Print(L"    identified as \"" + description + L"\"; group [" + outcome.group + L"], editor " + outcome.editor);
    wchar_t timing[64];
    swprintf(timing, 64, L"%.0f ms", milliseconds);
    Print(L"    DVPLUGINMSG_LOADW answered " + std::to_wstring(shown) + L" after " + timing + L": the plug-in " +
          (outcome.how.empty() ? std::wstring(L"did nothing visible") : outcome.how));
    HWND editor = GetWindow(viewer, GW_CHILD);
    if (editor) {
        DWORD processId = 0;
        GetWindowThreadProcessId(editor, &processId);
        RECT client, frame;
        GetClientRect(viewer, &client);
        GetWindowRect(editor, &frame);
        wchar_t size[160];
        swprintf(size, 160, L"%ldx%ld (the viewer's client area is %ldx%ld)", frame.right - frame.left,
                 frame.bottom - frame.top, client.right, client.bottom);
        Print(L"    embedded window: class " + ClassOf(editor) + L", " + size + L", process " +
              ProcessImage(processId));
    }
    Print(L"    what the editor received:");
    PrintEditorReceived(journalStart, editor);
    if (editor) SaveScreenshot(Host().main, L"step" + std::to_wstring(number));
    return editor != nullptr;
}

// Returns whether an editor is embedded in the stand-alone viewer; the window is in `frame`.
bool ShowStandaloneStep(int number, const std::wstring& relativePath, const std::wstring& folder,
                        HWND& frame) {
    Print(L"");
    Print(L"Step " + std::to_wstring(number) + L": the user opens " + relativePath +
          L" in a stand-alone viewer window");
    size_t firstEntry = LogEntries().size();
    frame = OpenStandaloneViewer(folder + L"\\" + relativePath);
    PumpFor(500);
    StepOutcome outcome = ReadOutcome(firstEntry);
    Print(L"    the plug-in " + outcome.how + L"; window tree of the stand-alone viewer:");
    if (!frame) return false;
    PrintWindowTree(frame, 0);
    bool embedded = false;
    for (HWND child = GetWindow(frame, GW_CHILD); child && !embedded; child = GetWindow(child, GW_HWNDNEXT)) {
        embedded = GetWindow(child, GW_CHILD) != nullptr;
    }
    if (embedded) SaveScreenshot(frame, L"step" + std::to_wstring(number));
    return embedded;
}

// The try-it host is a GUI program: started from a console without redirection it has no
// standard output, and the tour writes to that console instead.
void UseParentConsole() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    FILE* stream = nullptr;
#ifdef _MSC_VER
    freopen_s(&stream, "CONOUT$", "w", stdout);
#else
    stream = freopen("CONOUT$", "w", stdout);
#endif
    if (stream) SetConsoleOutputCP(CP_UTF8);
}

void WriteTourSettings(const std::wstring& standinFolder) {
    StoreStarterSettings(standinFolder);
    std::wstring path = ConfigFolder() + L"\\folderaliases.oxc";
    Print(L"Settings stored through the host's LoadOrSaveConfigW in " + SettingsFilePath() + L":");
    Print(L"    notes  md        -> %SystemRoot%\\notepad.exe   (Wine's own Notepad, a real editor)");
    Print(L"    code   cpp;h     -> /standins\\notepad4.exe     (stand-in Notepad4; /standins is a folder alias)");
    Print(L"    build  txt;cmake -> /standins\\notepad++.exe    (stand-in Notepad++)");
    Print(L"    focus the editor on preview start: on");
    Print(L"Folder alias file " + path + L": /standins -> " + standinFolder);
}

void ClearEverything(const std::vector<HWND>& frames) {
    SendMessageW(Host().viewer, kMsgClear, 0, 0);
    for (HWND frame : frames) {
        if (IsWindow(frame)) DestroyWindow(frame);
    }
    DestroyWindow(Host().main);
    PumpFor(200);
}

void PrintLogTail() {
    std::vector<std::wstring> entries = LogEntries();
    Print(L"");
    Print(L"The plug-in's log: " + LogPath() + L" (" + std::to_wstring(entries.size()) + L" entries); its last lines:");
    size_t from = entries.size() > 14 ? entries.size() - 14 : 0;
    for (size_t i = from; i < entries.size(); ++i) {
        if (!entries[i].empty()) Print(L"    " + entries[i]);
    }
}

}  // namespace

int RunTour(const std::wstring& folder, const std::wstring& out, const std::wstring& standinFolder) {
    UseParentConsole();
    outFolder = out.empty() ? ExeFolder() : out;
    CreateDirectoryW(outFolder.c_str(), nullptr);
    DeleteFileW(LogPath().c_str());
    DeleteFileW(JournalPath().c_str());
    std::wstring temp = outFolder + L"\\";
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    SetEnvironmentVariableW(L"VELLOQUIN_STANDIN_JOURNAL", JournalPath().c_str());

    Print(L"velloquin tour: a try-it host (dopus.exe) loads velloquin.dll and shows files of " + folder);
    WriteTourSettings(standinFolder);
    if (!CreateHostWindow(folder, SW_SHOW)) {
        Print(L"FAILED: velloquin.dll could not be loaded or gave no viewer window.");
        return 1;
    }
    PluginIdentity identity;
    if (IdentifyPlugin(ThePlugin(), identity)) {
        Print(L"DVP_IdentifyW: \"" + identity.name + L"\" - " + identity.description);
        Print(L"    handled extensions: " + identity.handledExtensions);
    }
    HWND viewer = Host().viewer;
    Print(L"DVP_CreateViewer made the preview pane's viewer window: " + Describe(viewer));
    PumpFor(200);

    Print(L"");
    Print(L"First the user looks at the plug-in's settings (DVP_Configure)");
    HANDLE settingsThread = OpenSettings(Host().main);
    HWND settings = nullptr;
    PumpUntil([&] { return (settings = FindWindowW(L"#32770", L"velloquin Configuration")) != nullptr; },
              kDialogTimeoutMs);
    if (settings) {
        PumpFor(500);
        SaveScreenshot(settings, L"settings-dialog");
        PostMessageW(settings, WM_COMMAND, IDCANCEL, 0);
    } else {
        Print(L"    no settings dialog appeared");
    }
    if (settingsThread) {
        WaitForSingleObject(settingsThread, kDialogTimeoutMs);
        CloseHandle(settingsThread);
    }
    int failures = 0;
    HWND frame = nullptr;
    int number = 0;
    for (const TourStep& step : kTourSteps) {
        ++number;
        bool embedded = step.standalone ? ShowStandaloneStep(number, step.file, folder, frame)
                                        : ShowStep(number, viewer, step.file, folder);
        if (embedded != step.editorShown) {
            Print(std::wstring(L"    FAILED: ") +
                  (step.editorShown ? L"no editor holds " : L"an editor holds ") + step.file);
            ++failures;
        }
        if (number == 3) {
            Print(L"    the host's window tree: the editor's window inside the plug-in's viewer window");
            PrintWindowTree(Host().main, 0);
        }
    }

    ClearEverything({frame});
    PrintLogTail();
    return failures == 0 ? 0 : 1;
}
