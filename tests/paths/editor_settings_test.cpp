// Where the editors keep what they save at exit, the private copies a preview points them at, and
// the recent-files list put back for the editor that offers no such switch.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "editor_settings/private_copy.h"
#include "editor_settings/put_back.h"
#include "editor_settings/recent_files.h"
#include "editor_settings/saved_settings.h"
#include "editor_settings/settings_places.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

using List = std::vector<std::wstring>;

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolder(const std::wstring& path) {
    CreateDirectoryW(path.c_str(), nullptr);
}

// A UTF-16 ini as Notepad4 creates it, with its recent files.
void WriteNotepad4Ini(const std::wstring& path, const List& recent) {
    std::wstring text = L"\xFEFF[Notepad4]\r\n[Recent Files]\r\n";
    for (size_t i = 0; i < recent.size(); ++i)
        text += (i < 9 ? L"0" : L"") + std::to_wstring(i + 1) + L"=" + recent[i] + L"\r\n";
    ASSERT_TRUE(WriteFileBytes(path, text.data(), text.size() * sizeof(wchar_t)));
}

std::wstring Env(const wchar_t* text) {
    wchar_t expanded[MAX_PATH] = {};
    ExpandEnvironmentStringsW(text, expanded, MAX_PATH);
    return expanded;
}

// A process of this program, started suspended: what is owed to it waits until it has ended.
PROCESS_INFORMATION StartSuspendedProcess() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup, &info);
    return info;
}

}  // namespace

TEST(RecentFiles, PutBackListKeepsTheUsersOwnAndTakesOutOnlyWhatThePreviewsAdded) {
    const RecentEntryFolders folders{L"Z:\\tools\\np4", Env(L"%USERPROFILE%\\Documents")};
    const auto keys = [&](const List& files) {
        List out;
        for (const std::wstring& file : files) out.push_back(RecentEntryKey(file, folders));
        return out;
    };
    List full;
    for (int i = 1; i <= 32; ++i) full.push_back(L"C:\\f" + std::to_wstring(i));
    struct Case {
        const char* what;
        List now, before, shown, expected;
        size_t unreadable;
    };
    const Case cases[] = {
        {"a full list pushed the user's oldest out: they come back",
         [&] {
             List now = {L"C:\\p1", L"C:\\p2"};
             now.insert(now.end(), full.begin(), full.begin() + 30);
             return now;
         }(),
         full,
         {L"C:\\p1", L"C:\\p2"},
         full,
         0},
        {"a code page wrote a shown name with '?': taken out; one that names no shown file stays",
         {L"C:\\x\\??.txt", L"C:\\x\\?.txt", L"C:\\u1.txt"},
         {L"C:\\u1.txt"},
         {L"C:\\x\\\x4E2D\x6587.txt"},
         {L"C:\\x\\?.txt", L"C:\\u1.txt"},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PutBackList result = PutBackRecentList(c.now, c.before, keys(c.shown), folders);
        EXPECT_EQ(result.list, c.expected);
        EXPECT_EQ(result.unreadable, c.unreadable);
    }
}

// What is owed is kept in a file until the editor has ended; then the list and the maximized window
// come back, once, whoever completes it (the next launch, the next load).
TEST(RecentFiles, OwedPutBackWaitsForTheEditorsEndAndSurvivesItsStarter) {
    const std::wstring folder = MakeTempDir(L"recent");
    const std::wstring ini = folder + L"\\Notepad4.ini";
    const std::wstring shown = folder + L"\\Shown File.txt";
    ASSERT_TRUE(WriteFileText(shown, "x"));
    WriteNotepad4Ini(ini, {L"C:\\u1.txt", L"C:\\u2.txt"});
    WritePrivateProfileStringW(Notepad4PositionSection().c_str(), L"WindowMaximized", L"1", ini.c_str());

    OwedPutBack owed = PreparePutBack(ini, folder);
    EXPECT_TRUE(owed.maximized);
    PROCESS_INFORMATION editor = StartSuspendedProcess();
    ASSERT_NE(editor.hProcess, nullptr);
    ASSERT_TRUE(OwePutBack(owed, editor.hProcess, editor.dwProcessId));
    NoteShownInPutBack(owed, shown);
    // As the editor saves: the shown file on top, un-maximized.
    WriteNotepad4Ini(ini, {L"shown file.TXT", L"C:\\u1.txt", L"C:\\u2.txt"});
    CompleteOwedPutBacks(ini);
    EXPECT_EQ(ReadRecentFiles(ini).size(), 3u) << "put back while the editor runs";
    TerminateProcess(editor.hProcess, 0);
    WaitForSingleObject(editor.hProcess, 5000);
    CloseHandle(editor.hProcess);
    CloseHandle(editor.hThread);
    // Its starter is gone: the plug-in's next load finds the record.
    CompleteOwedPutBacks(L"");
    EXPECT_EQ(ReadRecentFiles(ini), (List{L"C:\\u1.txt", L"C:\\u2.txt"}));
    EXPECT_EQ(GetPrivateProfileIntW(Notepad4PositionSection().c_str(), L"WindowMaximized", 0, ini.c_str()), 1u);
    EXPECT_FALSE(Exists(owed.recordPath));
    EXPECT_TRUE(CompletePutBack(owed));
}

TEST(SettingsPlaces, EachEditorsOwnRulesFindTheUsersSettings) {
    const std::wstring root = MakeTempDir(L"places");
    UserFolders folders;
    folders.roamingAppData = root + L"\\roaming";
    folders.localAppData = root + L"\\local";
    folders.profile = root + L"\\profile";
    folders.programFiles = root + L"\\programs";
    for (const std::wstring& f :
         {folders.roamingAppData, folders.localAppData, folders.profile, folders.programFiles, root + L"\\np",
          root + L"\\programs\\npp", folders.roamingAppData + L"\\Rizonesoft",
          folders.roamingAppData + L"\\Rizonesoft\\Notepad3"})
        MakeFolder(f);

    // Notepad4: beside a portable exe; in %LOCALAPPDATA% for an installed one.
    EXPECT_EQ(Notepad4IniFile(root + L"\\np\\Notepad4.exe", folders), root + L"\\np\\Notepad4.ini");
    EXPECT_EQ(Notepad4IniFile(L"C:\\Program Files\\Notepad4\\Notepad4.exe", folders),
              folders.localAppData + L"\\Notepad4\\Notepad4.ini");
    EXPECT_EQ(Notepad4IniFile(root + L"\\WinGet\\Packages\\Notepad4.exe", folders),
              folders.localAppData + L"\\Notepad4\\Notepad4.ini");

    // Notepad3: none at all; then the roaming one; the exe-named one beside it comes first; a
    // redirection chain of two, the second to a file still to be created.
    const std::wstring np3 = root + L"\\np\\Notepad3.exe";
    EXPECT_EQ(Notepad3IniFile(np3, folders), L"");
    const std::wstring roaming = folders.roamingAppData + L"\\Rizonesoft\\Notepad3\\Notepad3.ini";
    ASSERT_TRUE(WriteFileText(roaming, "[Settings]\r\n"));
    EXPECT_EQ(Notepad3IniFile(np3, folders), roaming);
    ASSERT_TRUE(WriteFileText(root + L"\\np\\Notepad3.ini", "[Notepad3]\r\n Notepad3.ini = user.ini\r\n"));
    ASSERT_TRUE(
        WriteFileText(root + L"\\np\\user.ini", "\xEF\xBB\xBF[notepad3]\r\nNotepad3.ini=custom\\n3.ini\r\n"));
    EXPECT_EQ(Notepad3IniFile(np3, folders), root + L"\\np\\custom\\n3.ini");

    // Notepad++: %APPDATA%\Notepad++; beside the exe with doLocalConf.xml, but not in Program Files;
    // a cloud choice wins.
    const std::wstring npp = root + L"\\np\\notepad++.exe";
    EXPECT_EQ(NotepadPPSettingsFolder(npp, folders), folders.roamingAppData + L"\\Notepad++");
    ASSERT_TRUE(WriteFileText(root + L"\\np\\doLocalConf.xml", ""));
    EXPECT_EQ(NotepadPPSettingsFolder(npp, folders), root + L"\\np");
    ASSERT_TRUE(WriteFileText(root + L"\\programs\\npp\\doLocalConf.xml", ""));
    EXPECT_EQ(NotepadPPSettingsFolder(root + L"\\programs\\npp\\notepad++.exe", folders),
              folders.roamingAppData + L"\\Notepad++");
    MakeFolder(root + L"\\np\\cloud");
    ASSERT_TRUE(WriteFileText(root + L"\\np\\cloud\\choice", Wide2Utf8(folders.profile)));
    EXPECT_EQ(NotepadPPSettingsFolder(npp, folders), folders.profile);
}

TEST(PrivateSettings, CopiesAreFreshPrivateAndNeverTheUsersSessionOrDocuments) {
    const std::wstring root = MakeTempDir(L"copies");
    const std::wstring users = root + L"\\users";
    for (const std::wstring& f : {users, users + L"\\themes", users + L"\\backup"}) MakeFolder(f);
    for (const wchar_t* name : {L"\\config.xml", L"\\shortcuts.xml", L"\\session.xml", L"\\themes\\Dark.xml",
                                L"\\backup\\new 1@2026.xml", L"\\notes.txt"})
        ASSERT_TRUE(WriteFileText(users + name, "user's"));
    const std::wstring copy = PrivateSettingsFolder(L"Notepad++", users);
    EXPECT_NE(copy, PrivateSettingsFolder(L"Notepad++", root + L"\\another"));
    ASSERT_TRUE(RefreshFolderCopy(users, copy));
    EXPECT_TRUE(Exists(copy + L"\\config.xml"));
    EXPECT_TRUE(Exists(copy + L"\\shortcuts.xml"));
    EXPECT_TRUE(Exists(copy + L"\\themes\\Dark.xml"));
    EXPECT_FALSE(Exists(copy + L"\\session.xml"));
    EXPECT_FALSE(Exists(copy + L"\\backup"));
    EXPECT_FALSE(Exists(copy + L"\\notes.txt"));
    // The editor saved into the copy; the user removed a file: the next launch gets the user's again.
    ASSERT_TRUE(WriteFileText(copy + L"\\config.xml", "editor's"));
    DeleteFileW((users + L"\\shortcuts.xml").c_str());
    ASSERT_TRUE(RefreshFolderCopy(users, copy));
    const std::vector<uint8_t> config = ReadFileBytes(copy + L"\\config.xml");
    EXPECT_EQ(std::string(config.begin(), config.end()), "user's");
    EXPECT_FALSE(Exists(copy + L"\\shortcuts.xml"));

    // Notepad3's copy exists even without an ini of the user's: else it would look for the user's.
    const std::wstring ini =
        PrivateSettingsFolder(L"Notepad3", root + L"\\np\\Notepad3.exe") + L"\\Notepad3.ini";
    ASSERT_TRUE(RefreshFileCopy(L"", ini));
    EXPECT_TRUE(Exists(ini));

    // Settings the user's own parameters name are left to them.
    EXPECT_TRUE(ParamsNameSettings(SavedSettings::PrivateIniSwitch, L"/x /F \"my.ini\""));
    EXPECT_TRUE(ParamsNameSettings(SavedSettings::PrivateIniSwitch, L"-f0"));
    EXPECT_FALSE(ParamsNameSettings(SavedSettings::PrivateIniSwitch, L"/n /sysmru=0"));
    EXPECT_TRUE(ParamsNameSettings(SavedSettings::PrivateFolderSwitch, L"-settingsDir=\"D:\\mine\""));
    EXPECT_FALSE(ParamsNameSettings(SavedSettings::PrivateFolderSwitch, L"-multiInst"));
}
