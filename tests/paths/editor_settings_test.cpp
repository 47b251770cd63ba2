// Where the editors keep what they save at exit, the private copies a preview points them at, and
// the recent-files list put back for the editor that offers no such switch.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "editor_settings/private_copy.h"
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

List RecentFilesOf(const std::wstring& ini) {
    return SnapshotRecentFiles(ini, std::wstring()).entries;
}

}  // namespace

TEST(RecentFiles, PutBackListKeepsTheUsersOwnAndTakesOutOnlyWhatThePreviewsAdded) {
    const List users = {L"C:\\u1.txt", L"C:\\u2.txt", L"C:\\u3.txt"};
    // Previews on top: the user's list as it was.
    EXPECT_EQ(RestoredRecentList(users, {L"C:\\p2", L"C:\\p1", L"C:\\u1.txt", L"C:\\u2.txt", L"C:\\u3.txt"},
                                 {true, true, false, false, false}),
              users);
    // Previews pushed the user's oldest out of a full list: it comes back.
    EXPECT_EQ(RestoredRecentList(users, {L"C:\\p1", L"C:\\u1.txt", L"C:\\u2.txt"}, {true, false, false}),
              users);
    // A preview of one of the user's own files moved it to the top: the order comes back too.
    EXPECT_EQ(RestoredRecentList(users, {L"c:\\U3.TXT", L"C:\\u1.txt", L"C:\\u2.txt"}, {false, false, false}),
              users);
    // A file the user opened meanwhile stays, the previews go, the user's own follow.
    EXPECT_EQ(RestoredRecentList(users, {L"C:\\p1", L"C:\\mine.txt", L"C:\\u1.txt", L"C:\\u2.txt"},
                                 {true, false, false, false}),
              (List{L"C:\\mine.txt", L"C:\\u1.txt", L"C:\\u2.txt", L"C:\\u3.txt"}));

    // Through the ini, as Notepad4 writes it: only entries naming a shown file go, whatever their case.
    const std::wstring folder = MakeTempDir(L"recent");
    const std::wstring ini = folder + L"\\Notepad4.ini";
    const std::wstring shown = folder + L"\\Shown File.txt";
    ASSERT_TRUE(WriteFileText(shown, "x"));
    WriteNotepad4Ini(ini, users);
    const RecentFilesGuard guard = SnapshotRecentFiles(ini, folder);
    EXPECT_EQ(guard.entries, users);
    WriteNotepad4Ini(ini, {folder + L"\\shown file.TXT", L"C:\\u1.txt", L"C:\\u2.txt", L"C:\\u3.txt"});
    RecentFilesRestore outcome = RestoreRecentFiles(guard, {shown});
    EXPECT_TRUE(outcome.written);
    EXPECT_EQ(outcome.takenOut, 1u);
    EXPECT_EQ(RecentFilesOf(ini), users);
    // Nothing to do: the file is not written again.
    outcome = RestoreRecentFiles(guard, {shown});
    EXPECT_FALSE(outcome.written);
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
