// Reading the host's alias file from real files, the once-per-process table, and the system's
// answers (environment, the host's folder). Checks the log file the product really writes.

#include "paths/alias_file.h"

#include <gtest/gtest.h>

#include "host/host_services.h"
#include "host/test_host.h"
#include "paths/alias_resolver.h"
#include "paths/alias_scan.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

std::wstring logFolder;

class TempFolderEnvironment : public ::testing::Environment {
   public:
    void SetUp() override {
        logFolder = MakeTempDir(L"paths");
        UseTempFolder(logFolder);
    }
};
const auto* const tempFolder = ::testing::AddGlobalTestEnvironment(new TempFolderEnvironment);

std::vector<std::wstring> LogEntries() {
    return ReadLogEntries(logFolder + L"\\velloquin.log");
}

// The entries written by read, and what it returned.
std::vector<std::wstring> LoggedBy(const std::function<void()>& action) {
    size_t before = LogEntries().size();
    action();
    std::vector<std::wstring> entries = LogEntries();
    return std::vector<std::wstring>(entries.begin() + static_cast<std::ptrdiff_t>(before), entries.end());
}

std::wstring LoadingLine(const std::wstring& path) {
    return L"[AliasResolver::Load] AliasResolver: loading [" + path + L"]";
}

std::wstring SizeLine(const wchar_t* size) {
    return std::wstring(L"[AliasResolver::Load] AliasResolver: folderaliases.oxc size invalid (") + size +
           L")";
}

std::wstring NotFoundLine(int error) {
    return L"[AliasResolver::Load] AliasResolver: folderaliases.oxc not found (err=" +
           std::to_wstring(error) + L")";
}

std::string Utf8Entry(const std::string& label, const std::string& folder) {
    return "<path label=\"" + label + "\"><pathstring>" + folder + "</pathstring></path>";
}

struct ReadResult {
    bool ok = false;
    std::wstring text;
    std::vector<std::wstring> log;
};

ReadResult Read(const std::wstring& path) {
    ReadResult result;
    result.log = LoggedBy([&] { result.ok = ReadAliasFile(path, result.text); });
    return result;
}

ReadResult WriteAndRead(const std::string& bytes) {
    std::wstring path = MakeTempDir(L"aliases") + L"\\folderaliases.oxc";
    EXPECT_TRUE(WriteFileText(path, bytes));
    return Read(path);
}

AliasTable ScanText(const std::wstring& text) {
    AliasTable table;
    ScanAliasEntries(text, table, nullptr);
    return table;
}

}  // namespace

TEST(ReadAliasFile, MissingOrLockedFileIsReportedWithTheSystemCode) {
    std::wstring folder = MakeTempDir(L"aliases");
    std::wstring path = folder + L"\\folderaliases.oxc";
    ReadResult missing = Read(path);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.log, (std::vector<std::wstring>{LoadingLine(path), NotFoundLine(2)}));

    ASSERT_TRUE(WriteFileText(path, Utf8Entry("a", "A")));
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    ReadResult locked = Read(path);
    CloseHandle(lock);
    EXPECT_FALSE(locked.ok);
    EXPECT_EQ(locked.log,
              (std::vector<std::wstring>{LoadingLine(path), NotFoundLine(ERROR_SHARING_VIOLATION)}));
}

TEST(ReadAliasFile, EmptyAndOversizedFilesAreRefusedOneMebibyteIsReadWhole) {
    ReadResult empty = WriteAndRead("");
    EXPECT_FALSE(empty.ok);
    ASSERT_EQ(empty.log.size(), 2u);
    EXPECT_EQ(empty.log[1], SizeLine(L"0"));

    std::string entry = Utf8Entry("last", "C:\\Last");
    std::string full = std::string(1048576 - entry.size(), ' ') + entry;
    ReadResult read = WriteAndRead(full);
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.log.size(), 1u);
    EXPECT_EQ(read.text.size(), 1048576u);
    EXPECT_EQ(ScanText(read.text)[L"last"], L"C:\\Last");

    ReadResult oversized = WriteAndRead(full + " ");
    EXPECT_FALSE(oversized.ok);
    ASSERT_EQ(oversized.log.size(), 2u);
    EXPECT_EQ(oversized.log[1], SizeLine(L"1048577"));
}

TEST(ReadAliasFile, ByteOrderMarkIsSkippedAndOnlyUtf8IsUnderstood) {
    ReadResult markOnly = WriteAndRead("\xEF\xBB\xBF");
    EXPECT_TRUE(markOnly.ok);
    EXPECT_EQ(markOnly.text, L"");

    ReadResult marked = WriteAndRead("\xEF\xBB\xBF" + Utf8Entry("a", "C:\\\xC3\xA9\xFF"));
    EXPECT_EQ(marked.text.substr(0, 1), L"<");
    // Malformed UTF-8 becomes a replacement character instead of failing the whole text.
    EXPECT_EQ(ScanText(marked.text)[L"a"], L"C:\\\u00e9\ufffd");

    std::wstring wide = L"\ufeff" + Narrow2Wide(Utf8Entry("a", "A"));
    std::string utf16(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    ReadResult utf16File = WriteAndRead(utf16);
    EXPECT_TRUE(utf16File.ok);
    EXPECT_TRUE(ScanText(utf16File.text).empty());
}

TEST(ReadHostAliasText, TheFileIsLookedForBesideTheHostsConfigurationPath) {
    std::wstring folder = MakeTempDir(L"hostcfg");
    ASSERT_TRUE(WriteFileText(folder + L"\\folderaliases.oxc", Utf8Entry("a", "A")));
    testhost::ResetHost();
    testhost::Host().answerConfigPath = true;
    for (const std::wstring& answer : {folder + L"\\", folder + L"\\ConfigFiles", folder + L"/x"}) {
        testhost::Host().configPathAnswer = answer;
        std::wstring text;
        std::vector<std::wstring> log = LoggedBy([&] { EXPECT_TRUE(ReadHostAliasText(text)); });
        EXPECT_EQ(log, std::vector<std::wstring>{LoadingLine(folder + L"\\folderaliases.oxc")}) << answer;
        EXPECT_EQ(ScanText(text).size(), 1u);
    }
    testhost::Host().getConfigPathSucceeds = false;
    std::wstring text;
    std::vector<std::wstring> log = LoggedBy([&] { EXPECT_FALSE(ReadHostAliasText(text)); });
    EXPECT_EQ(log, std::vector<std::wstring>{L"[AliasResolver::Load] AliasResolver: GetConfigPath failed"});
    testhost::ResetHost();
}

TEST(HostServices, BothFunctionsAreFoundInTheRunningHostProgram) {
    HMODULE host = FindHostModule();
    EXPECT_EQ(host, GetModuleHandleW(nullptr));
    EXPECT_EQ(FindGetConfigPath(host), &GetConfigPathW);
    EXPECT_EQ(FindLoadOrSaveConfig(host), &LoadOrSaveConfigW);
    EXPECT_EQ(FindGetConfigPath(nullptr), nullptr);
    EXPECT_EQ(FindLoadOrSaveConfig(nullptr), nullptr);
}

// The only test in this program that loads the process-wide table.
TEST(AliasResolverLoad, FirstCallReadsTheFileOnceLaterCallsOnlyAnswerTheCount) {
    std::wstring folder = MakeTempDir(L"hostcfg");
    std::wstring file = folder + L"\\folderaliases.oxc";
    ASSERT_TRUE(WriteFileText(file, Utf8Entry("Tools", "C:\\Tools &amp; Utils") + Utf8Entry("TOOLS", "X:\\") +
                                        Utf8Entry("bin", " D:/bin")));
    testhost::ResetHost();
    testhost::Host().answerConfigPath = true;
    testhost::Host().configPathAnswer = folder + L"\\";

    unsigned long count = 0;
    std::vector<std::wstring> log = LoggedBy([&] { count = AliasResolver::Load(); });
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(log, (std::vector<std::wstring>{
                       LoadingLine(file), L"[AliasResolver::ParseXml]   alias: /tools -> C:\\Tools & Utils",
                       L"[AliasResolver::ParseXml]   alias: /bin ->  D:/bin",
                       L"[AliasResolver::Load] AliasResolver: loaded 2 aliases"}));
    EXPECT_EQ(testhost::GetConfigPathCalls(), 1);

    ASSERT_TRUE(DeleteFileW(file.c_str()));
    log = LoggedBy([&] { count = AliasResolver::Load(); });
    EXPECT_EQ(count, 2u);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(testhost::GetConfigPathCalls(), 1);

    EXPECT_EQ(ResolveEditorPath(L"\"/TOOLS/x.exe\""), L"C:\\Tools & Utils\\x.exe");
    EXPECT_EQ(AliasResolver::ResolvePath(L"/bin/a"), L" D:\\bin\\a");
    testhost::ResetHost();
}

// After the table's one load: the entry added here cannot change what that test counts.
TEST(AliasResolverBound, ASelfReferringAliasGivesAnUnusablePathAndOneLogLine) {
    std::string folder = "/selfref\\" + std::string(1700, 'd');
    std::wstring text = L"<path label=\"SelfRef\"><pathstring>" + Narrow2Wide(folder) + L"</pathstring>";
    LoggedBy([&] { AliasResolver::ParseXml(text); });
    std::wstring resolved = L"not called";
    std::vector<std::wstring> log = LoggedBy([&] { resolved = ResolveEditorPath(L"/selfref/x.exe"); });
    EXPECT_EQ(resolved, L"");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0],
              L"[AliasResolver::ResolvePath] AliasResolver: path passes 32767 units, resolution stopped: "
              L"[/selfref/x.exe]");
}

TEST(GetHostHomeFolder, HomeIsTheFolderOfTheRunningHostProgram) {
    EXPECT_EQ(GetHostHomeFolder(L"home"), ExeDir());
    EXPECT_EQ(GetHostHomeFolder(L"Home"), L"");
    EXPECT_EQ(GetHostHomeFolder(L"homes"), L"");
    EXPECT_EQ(ResolveEditorPath(L"/home\\viewers\\Notepad4\\Notepad4.exe"),
              ExeDir() + L"\\viewers\\Notepad4\\Notepad4.exe");
}

TEST(ExpandEnvVars, VariablesAreExpandedBeforeAliasesUnlessUndefinedOrTooLong) {
    SetEnvironmentVariableW(L"VELLOQUIN_PATHS_TOOLS", L"/HOME");
    SetEnvironmentVariableW(L"VELLOQUIN_PATHS_BIG", std::wstring(20000, L'b').c_str());
    EXPECT_EQ(ExpandEnvVars(L"%VELLOQUIN_PATHS_TOOLS%\\a"), L"/HOME\\a");
    EXPECT_EQ(ExpandEnvVars(L"%VELLOQUIN_PATHS_UNDEFINED%\\a"), L"%VELLOQUIN_PATHS_UNDEFINED%\\a");
    EXPECT_EQ(ExpandEnvVars(L"%VELLOQUIN_PATHS_BIG%"), std::wstring(20000, L'b'));
    EXPECT_EQ(ExpandEnvVars(L"%VELLOQUIN_PATHS_BIG%%VELLOQUIN_PATHS_BIG%"),
              L"%VELLOQUIN_PATHS_BIG%%VELLOQUIN_PATHS_BIG%");
    EXPECT_EQ(ResolveEditorPath(L"%VELLOQUIN_PATHS_TOOLS%/a.exe"), ExeDir() + L"\\a.exe");
    SetEnvironmentVariableW(L"VELLOQUIN_PATHS_TOOLS", nullptr);
    SetEnvironmentVariableW(L"VELLOQUIN_PATHS_BIG", nullptr);
}
