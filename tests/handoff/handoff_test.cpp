// The hand-off records and drop blocks byte for byte, and the hand-off functions sending them to
// editor windows of this process (the receiver sees exactly what another process would get).

#include "viewer/handoff.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "editors/editor_kind.h"
#include "embed/editor_file_path.h"
#include "log/log.h"
#include "support/standin_journal.h"
#include "support/test_support.h"
#include "viewer/handoff_image.h"
#include "viewer/handoff_records.h"
#include "viewer/handoff_title.h"

using namespace testing_support;

namespace {

class TempLogEnvironment : public ::testing::Environment {
   public:
    void SetUp() override { UseTempFolder(MakeTempDir(L"handoff")); }
};
const auto* const tempLog = ::testing::AddGlobalTestEnvironment(new TempLogEnvironment);

std::vector<uint8_t> Utf16Bytes(const std::wstring& text) {
    std::vector<uint8_t> bytes;
    for (wchar_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

std::wstring Hex16(const void* pointer) {
    wchar_t text[24];
    swprintf(text, 24, L"%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
    return text;
}

std::vector<std::wstring> Log() {
    return ReadLogEntries(LogFilePath());
}

const std::wstring kPath = L"C:\\docs\\r\u00e9sum\u00e9 1.txt";

// ---- records ----

TEST(HandOffRecords, NotepadRecordsAre2nPlus50BytesAndDifferAtOffsets8And12) {
    const size_t n = kPath.size();
    std::vector<uint8_t> np3 = BuildNotepadParamRecord(kPath, NotepadFamily::Notepad3);
    std::vector<uint8_t> np4 = BuildNotepadParamRecord(kPath, NotepadFamily::Notepad4);
    ASSERT_EQ(np3.size(), 2 * n + 50);
    ASSERT_EQ(np4.size(), 2 * n + 50);
    // x64 Notepad4 24.09+: 0 load the file; 1-5 flags off; 8 change notify 2 ("not set", the user's
    // file watching stays); 12 lexer (unused); 16/24 line and column; 32 encoding -1 (detect);
    // 36/40/44 no encoding, EOL or match command; 48 the path.
    std::vector<uint8_t> header(48, 0);
    header[0] = 1;
    header[8] = 2;
    header[32] = header[33] = header[34] = header[35] = 0xFF;
    std::vector<uint8_t> tail = Concat(Utf16Bytes(kPath), {0, 0});
    EXPECT_EQ(np4, Concat(header, tail));
    // Notepad3: offset 8 is "lexer specified" (0), 12 the initial lexer (-1).
    header[8] = 0;
    header[12] = header[13] = header[14] = header[15] = 0xFF;
    EXPECT_EQ(np3, Concat(header, tail));
    EXPECT_EQ(BuildNotepadParamRecord(L"", NotepadFamily::Notepad3).size(), 50u);
}

TEST(HandOffRecords, NotepadPPQuotesThePathAndEmEditorSendsItBare) {
    EXPECT_EQ(BuildNotepadPPRecord(kPath), Concat(Utf16Bytes(L"\"" + kPath + L"\""), {0, 0}));
    EXPECT_EQ(BuildNotepadPPRecord(kPath).size(), 2 * kPath.size() + 6);
    EXPECT_EQ(BuildEmEditorRecord(kPath), Concat(Utf16Bytes(kPath), {0, 0}));
    EXPECT_EQ(BuildEmEditorRecord(kPath).size(), 2 * kPath.size() + 2);
}

TEST(HandOffRecords, DropBlockHasHeaderPointWideFlagPathAndEmptyName) {
    std::vector<uint8_t> block = BuildDropBlock(kPath, 50, -3);
    ASSERT_EQ(block.size(), 2 * kPath.size() + 24);
    EXPECT_EQ(U32At(block, 0), 20u);
    EXPECT_EQ(U32At(block, 4), 50u);
    EXPECT_EQ(U32At(block, 8), 0xFFFFFFFDu);
    EXPECT_EQ(U32At(block, 12), 0u);
    EXPECT_EQ(U32At(block, 16), 1u);
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 20, block.end()), Concat(Utf16Bytes(kPath), {0, 0, 0, 0}));
    EXPECT_EQ(DropPointCoordinate(101), 50);
    EXPECT_EQ(DropPointCoordinate(0), 0);
}

TEST(HandOffRecords, DropTargetIsTheFirstThatAcceptsFiles) {
    EXPECT_EQ(FirstDropTarget({}), kNoDropTarget);
    EXPECT_EQ(FirstDropTarget({0x100, 0x200}), kNoDropTarget);
    EXPECT_EQ(FirstDropTarget({0x100, 0x10 | 0x200, 0x10}), 1u);
}

// ---- what the editor's executable, its title and the path length allow ----

TEST(EditorImage, MachineAndFileVersionDecideWhetherNotepad4ReadsTheRecord) {
    const std::vector<uint8_t> current = ReadFileBytes(standin::StandinPath(L"notepad4.exe"));
    EditorImage image = ParseEditorImage(current);
    ASSERT_TRUE(image.isPe);
    EXPECT_EQ(image.machine, 0x8664);
    ASSERT_TRUE(image.hasVersion);
    EXPECT_EQ(std::vector<uint16_t>(image.version, image.version + 4),
              (std::vector<uint16_t>{26, 8, 0, 6282}));
    EXPECT_TRUE(Notepad4ReadsCurrentRecord(image));
    const EditorImage read = ReadEditorImage(standin::StandinPath(L"notepad4.exe"));
    EXPECT_EQ(std::vector<uint16_t>(read.version, read.version + 4), (std::vector<uint16_t>{26, 8, 0, 6282}));

    image = ReadEditorImage(standin::StandinPath(L"old\\notepad4.exe"));
    EXPECT_EQ(std::vector<uint16_t>(image.version, image.version + 4),
              (std::vector<uint16_t>{24, 7, 0, 5400}));
    EXPECT_FALSE(Notepad4ReadsCurrentRecord(image));

    // The same image marked as a 32-bit build: Machine is the first field after "PE\0\0".
    std::vector<uint8_t> x86 = current;
    const size_t peOffset = U32At(x86, 0x3C);
    x86[peOffset + 4] = 0x4C;
    x86[peOffset + 5] = 0x01;
    EXPECT_EQ(ParseEditorImage(x86).machine, 0x014C);
    EXPECT_FALSE(Notepad4ReadsCurrentRecord(ParseEditorImage(x86)));

    EXPECT_FALSE(ParseEditorImage(std::vector<uint8_t>(current.begin(), current.begin() + 0x40)).isPe);
    EXPECT_FALSE(ParseEditorImage({'M', 'Z'}).isPe);
    EXPECT_FALSE(ReadEditorImage(L"C:\\no such folder\\notepad4.exe").isPe);

    auto version = [](uint16_t year, uint16_t month) {
        EditorImage v;
        v.isPe = v.hasVersion = true;
        v.machine = 0x8664;
        v.version[0] = year;
        v.version[1] = month;
        return v;
    };
    EXPECT_TRUE(Notepad4ReadsCurrentRecord(version(24, 9)));
    EXPECT_TRUE(Notepad4ReadsCurrentRecord(version(25, 1)));
    EXPECT_FALSE(Notepad4ReadsCurrentRecord(version(24, 8)));
    EXPECT_FALSE(Notepad4ReadsCurrentRecord(version(23, 12)));
    EditorImage noVersion = version(26, 8);
    noVersion.hasVersion = false;
    EXPECT_FALSE(Notepad4ReadsCurrentRecord(noVersion));
}

uint16_t U16At(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    std::memcpy(bytes.data() + offset, &value, 4);
}

// Where the parts of an x64 image's version resource lie, found through the headers' fixed offsets.
struct VersionLayout {
    size_t fileHeader = 0;    // after "PE\0\0"
    size_t sectionTable = 0;  // 40 bytes per section
    size_t resourceRoot = 0;  // file offset of the resource directory
    uint32_t resourceRawSize = 0;
    size_t versionDataEntry = 0;  // RVA, size
    size_t versionInfo = 0;       // file offset of VS_VERSIONINFO
    uint32_t versionInSection = 0;
};

VersionLayout LayoutOf(const std::vector<uint8_t>& image) {
    VersionLayout layout;
    layout.fileHeader = U32At(image, 0x3C) + 4;
    const size_t optional = layout.fileHeader + 20;
    layout.sectionTable = optional + U16At(image, layout.fileHeader + 16);
    const uint32_t resourceRva = U32At(image, optional + 112 + 8 * 2);  // PE32+ data directory 2
    uint32_t sectionRva = 0;
    uint32_t rawPointer = 0;
    for (size_t i = 0; i < U16At(image, layout.fileHeader + 2); ++i) {
        const size_t section = layout.sectionTable + 40 * i;
        if (std::memcmp(image.data() + section, ".rsrc", 5) != 0) continue;
        sectionRva = U32At(image, section + 12);
        layout.resourceRawSize = U32At(image, section + 16);
        rawPointer = U32At(image, section + 20);
    }
    layout.resourceRoot = rawPointer + (resourceRva - sectionRva);
    const size_t root = layout.resourceRoot;
    const size_t entries = U16At(image, root + 12) + U16At(image, root + 14);
    uint32_t next = 0;
    for (size_t i = 0; i < entries; ++i)
        if (U32At(image, root + 16 + 8 * i) == 16) next = U32At(image, root + 20 + 8 * i);  // RT_VERSION
    next = U32At(image, root + (next & 0x7FFFFFFF) + 20);                                   // first name
    layout.versionDataEntry = root + U32At(image, root + (next & 0x7FFFFFFF) + 20);         // first language
    layout.versionInSection = U32At(image, layout.versionDataEntry) - sectionRva;
    layout.versionInfo = rawPointer + layout.versionInSection;
    return layout;
}

TEST(EditorImage, MalformedImagesAreReadStrictlyOrNotAtAll) {
    const std::vector<uint8_t> current = ReadFileBytes(standin::StandinPath(L"notepad4.exe"));
    const VersionLayout layout = LayoutOf(current);
    auto versionOf = [](const std::vector<uint8_t>& image) {
        const EditorImage parsed = ParseEditorImage(image);
        return parsed.hasVersion ? std::vector<uint16_t>(parsed.version, parsed.version + 4)
                                 : std::vector<uint16_t>();
    };
    ASSERT_EQ(versionOf(current), (std::vector<uint16_t>{26, 8, 0, 6282}));

    // Cut 2 bytes short of its file header: not an image. Cut inside its section table: no version.
    EXPECT_FALSE(
        ParseEditorImage(std::vector<uint8_t>(current.begin(), current.begin() + layout.fileHeader + 18))
            .isPe);
    const std::vector<uint8_t> cutTable(current.begin(), current.begin() + layout.sectionTable + 60);
    EXPECT_TRUE(ParseEditorImage(cutTable).isPe);
    EXPECT_TRUE(versionOf(cutTable).empty());

    // The fixed info's signature is found only behind the key "VS_VERSION_INFO".
    std::vector<uint8_t> otherKey = current;
    otherKey[layout.versionInfo + 6] = 'W';
    EXPECT_TRUE(versionOf(otherKey).empty());

    // A version resource that reaches past its section's raw data.
    std::vector<uint8_t> pastRawData = current;
    PutU32(pastRawData, layout.versionDataEntry + 4, layout.resourceRawSize - layout.versionInSection + 1);
    EXPECT_TRUE(versionOf(pastRawData).empty());

    // RT_VERSION counted among the named entries of the root is not the version resource.
    std::vector<uint8_t> allNamed = current;
    const uint16_t entries = static_cast<uint16_t>(U16At(current, layout.resourceRoot + 12) +
                                                   U16At(current, layout.resourceRoot + 14));
    allNamed[layout.resourceRoot + 12] = static_cast<uint8_t>(entries & 0xFF);
    allNamed[layout.resourceRoot + 13] = static_cast<uint8_t>(entries >> 8);
    allNamed[layout.resourceRoot + 14] = allNamed[layout.resourceRoot + 15] = 0;
    EXPECT_TRUE(versionOf(allNamed).empty());

    // The first section claims a huge raw size: it still does not hide the resource section.
    std::vector<uint8_t> hugeFirst = current;
    PutU32(hugeFirst, layout.sectionTable + 16, 0x7FFFFFF0u);
    EXPECT_EQ(versionOf(hugeFirst), (std::vector<uint16_t>{26, 8, 0, 6282}));
}

TEST(EditorTitle, NotepadPPTitleNamesTheShownFileAndMarksItModified) {
    const std::wstring path = L"C:\\Docs\\Notes.txt";
    EXPECT_TRUE(TitleNamesFile(L"C:\\Docs\\Notes.txt - Notepad++", path));
    EXPECT_TRUE(TitleNamesFile(L"*c:\\docs\\notes.TXT - Notepad++ [Administrator]", path));
    EXPECT_TRUE(TitleNamesFile(L"Notes.txt - Notepad++", path));
    EXPECT_FALSE(TitleNamesFile(L"C:\\Other\\Notes.txt - Notepad++", path));
    EXPECT_FALSE(TitleNamesFile(L"C:\\Docs\\Notes.txt.bak - Notepad++", path));
    EXPECT_FALSE(TitleNamesFile(L"new 1 - Notepad++", path));
    EXPECT_FALSE(TitleNamesFile(L"", path));
    EXPECT_TRUE(TitleMarksModified(L"*new 1 - Notepad++"));
    EXPECT_FALSE(TitleMarksModified(L"C:\\Docs\\Notes.txt - Notepad++"));
}

// Another file whose name begins with this one's, a short title with "\\" in Notepad++'s added
// text, the untitled document, and paths longer than any fixed title buffer.
TEST(EditorTitle, NotepadPPTitleNamesTheFileOnlyWhenExactlyNotepadPPsTextFollows) {
    const std::wstring license = L"C:\\x\\LICENSE";
    EXPECT_FALSE(TitleNamesFile(L"C:\\x\\LICENSE - Copy - Notepad++", license));
    EXPECT_FALSE(TitleNamesFile(L"LICENSE - Copy - Notepad++", license));
    EXPECT_FALSE(TitleNamesFile(L"*LICENSE - Copy - Notepad++ [Administrator]", license));
    EXPECT_FALSE(TitleNamesFile(L"C:\\x\\LICENSE - Notepad++x", license));
    EXPECT_FALSE(TitleNamesFile(L"C:\\x\\LICENSE - Notepad", license));
    EXPECT_FALSE(TitleNamesFile(L"new 1 - Notepad++", L"C:\\x\\new"));
    EXPECT_TRUE(TitleNamesFile(L"new - Notepad++", L"C:\\x\\new"));
    EXPECT_TRUE(TitleNamesFile(L"C:\\x\\LICENSE - Notepad++ - D:\\work", license));
    EXPECT_TRUE(TitleNamesFile(L"LICENSE - Notepad++ [Administrator] - D:\\work", license));
    EXPECT_FALSE(TitleNamesFile(L"LICENSE - Notepad++ [Administrator]x", license));
    for (size_t length : {1022u, 1023u, 1024u, 4000u}) {
        const std::wstring path = L"C:\\" + std::wstring(length - 3, L'd');
        EXPECT_TRUE(TitleNamesFile(path + L" - Notepad++", path)) << length;
        EXPECT_TRUE(TitleNamesFile(L"*" + path + L" - Notepad++", path)) << length;
    }
}

TEST(EditorFilePath, NotepadFamilyTakes258UnitsByCommandLineAnd259ByRecord) {
    // Folders that do not exist: no short form, so a path that needs one goes as it is, logged.
    const std::wstring at258 = L"C:\\" + std::wstring(253, L'x') + L".t";
    const std::wstring at259 = at258 + L"x";
    const std::wstring at260 = at259 + L"x";
    ASSERT_EQ(at258.size(), 258u);
    EXPECT_FALSE(NeedsShortPath(ProfileOf(EditorKind::Notepad4), at258, PathRoute::CommandLine));
    EXPECT_TRUE(NeedsShortPath(ProfileOf(EditorKind::Notepad4), at259, PathRoute::CommandLine));
    EXPECT_TRUE(NeedsShortPath(ProfileOf(EditorKind::Notepad3), at259, PathRoute::CommandLine));
    EXPECT_FALSE(NeedsShortPath(ProfileOf(EditorKind::Notepad4), at259, PathRoute::Record));
    EXPECT_TRUE(NeedsShortPath(ProfileOf(EditorKind::Notepad4), at260, PathRoute::Record));
    EXPECT_TRUE(NeedsShortPath(ProfileOf(EditorKind::Notepad3), at260, PathRoute::Record));
    EXPECT_FALSE(NeedsShortPath(ProfileOf(EditorKind::NotepadPlusPlus), at260, PathRoute::CommandLine));
    EXPECT_FALSE(NeedsShortPath(ProfileOf(EditorKind::Other), at260, PathRoute::CommandLine));
    EXPECT_EQ(EditorFilePath(ProfileOf(EditorKind::Notepad4), at258, PathRoute::CommandLine), at258);
    EXPECT_EQ(EditorFilePath(ProfileOf(EditorKind::Notepad4), at259, PathRoute::Record), at259);
    const size_t before = Log().size();
    EXPECT_EQ(EditorFilePath(ProfileOf(EditorKind::Notepad4), at259, PathRoute::CommandLine), at259);
    const std::vector<std::wstring> all = Log();
    const std::vector<std::wstring> log(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    EXPECT_EQ(CountLogEntriesStartingWith(log, L"[EditorFilePath] no short form of a path of 259 units"), 1);
}

TEST(EditorFilePath, NamesThatExpansionCouldChangeNeverReachNotepad3OrNotepad4) {
    EXPECT_FALSE(MayExpandVariables(L"C:\\docs\\100% sure.txt"));
    EXPECT_TRUE(MayExpandVariables(L"C:\\docs\\%USERNAME%.txt"));
    EXPECT_TRUE(MayExpandVariables(L"C:\\50%\\and 20%.txt"));
    // No such file: no short form either, so no form the editor would read as this file.
    const std::wstring expands = L"C:\\no such folder\\%USERNAME%.txt";
    EXPECT_FALSE(HasReadableForm(ProfileOf(EditorKind::Notepad4), expands));
    EXPECT_FALSE(HasReadableForm(ProfileOf(EditorKind::Notepad3), expands));
    EXPECT_TRUE(HasReadableForm(ProfileOf(EditorKind::NotepadPlusPlus), expands));
    EXPECT_TRUE(HasReadableForm(ProfileOf(EditorKind::Notepad4), L"C:\\docs\\100% sure.txt"));
    EXPECT_EQ(EditorFilePath(ProfileOf(EditorKind::Notepad4), expands, PathRoute::Record), L"");
    EXPECT_EQ(EditorFilePath(ProfileOf(EditorKind::Notepad3), expands, PathRoute::CommandLine), L"");
    EXPECT_EQ(EditorFilePath(ProfileOf(EditorKind::Other), expands, PathRoute::CommandLine), expands);
}

// ---- windows of this process playing the editor ----

struct Received {
    UINT message;
    HWND window;
    WPARAM wParam;
    ULONG_PTR dwData;
    DWORD cbData;
    std::vector<uint8_t> bytes;
    std::wstring droppedFile;
    POINT dropPoint;
    bool dropInClient;
    std::wstring path;  // NPPM_DOOPEN's, read where lParam points
};

std::vector<Received> received;
LRESULT scintillaModified = 0;
LRESULT copyDataReply = 1;
bool titleNamesHandedFile = false;  // as Notepad++ does when it opens a file
LRESULT doOpenReply = TRUE;         // NPPM_DOOPEN (WM_USER + 1077): TRUE titles the window with the path
std::vector<LPARAM> menuCommands;   // lParam of each NPPM_MENUCOMMAND (WM_USER + 1048)

void RecordDrop(HWND window, WPARAM wParam) {
    auto drop = reinterpret_cast<HDROP>(wParam);
    Received r{WM_DROPFILES, window, wParam, 0, 0, {}, {}, {}, false, {}};
    wchar_t name[MAX_PATH] = {};
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) DragQueryFileW(drop, 0, name, MAX_PATH);
    r.droppedFile = name;
    r.dropInClient = DragQueryPoint(drop, &r.dropPoint) != FALSE;
    {
        auto* data = static_cast<uint8_t*>(GlobalLock(drop));
        r.bytes.assign(data, data + GlobalSize(drop));
        GlobalUnlock(drop);
    }
    received.push_back(r);
    DragFinish(drop);
}

LRESULT CALLBACK EditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_COPYDATA) {
        auto* data = reinterpret_cast<COPYDATASTRUCT*>(lParam);
        auto* bytes = static_cast<uint8_t*>(data->lpData);
        received.push_back({message,
                            window,
                            wParam,
                            data->dwData,
                            data->cbData,
                            std::vector<uint8_t>(bytes, bytes + data->cbData),
                            {},
                            {},
                            false,
                            {}});
        if (titleNamesHandedFile && data->dwData == 2) {
            const std::wstring quoted(reinterpret_cast<const wchar_t*>(bytes));
            SetWindowTextW(window, (quoted.substr(1, quoted.size() - 2) + L" - Notepad++").c_str());
        }
        return copyDataReply;
    }
    if (message == WM_DROPFILES) {
        RecordDrop(window, wParam);
        return 0;
    }
    if (message == WM_USER + 1048) menuCommands.push_back(lParam);
    if (message == WM_USER + 1077) {
        const std::wstring path(reinterpret_cast<const wchar_t*>(lParam));
        received.push_back({message, window, wParam, 0, 0, {}, {}, {}, false, path});
        if (doOpenReply) SetWindowTextW(window, (path + L" - Notepad++").c_str());
        return doOpenReply;
    }
    if (message >= 2000 && message < 2200) {
        received.push_back({message, window, wParam, 0, 0, {}, {}, {}, false, {}});
        return message == 2159 ? scintillaModified : 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterClasses() {
    static bool done = false;
    if (done) return;
    for (const wchar_t* name : {L"TestEditorFrame", L"Scintilla", L"TestEditorPart"}) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = EditorProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = name;
        RegisterClassW(&wc);
    }
    done = true;
}

HWND MakeWindow(const wchar_t* cls, HWND parent, DWORD exStyle = 0, int width = 400, int height = 300) {
    RegisterClasses();
    DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_OVERLAPPEDWINDOW;
    return CreateWindowExW(exStyle, cls, L"", style, 0, 0, width, height, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

class HandOff : public ::testing::Test {
   protected:
    void SetUp() override {
        received.clear();
        scintillaModified = 0;
        copyDataReply = 1;
        doOpenReply = TRUE;
        titleNamesHandedFile = false;
        menuCommands.clear();
        frame = MakeWindow(L"TestEditorFrame", nullptr);
    }
    void TearDown() override {
        DestroyWindow(frame);
        PumpMessages();
    }
    HWND frame = nullptr;
};

TEST_F(HandOff, Notepad3ClearsTheSavePointThenSendsTheRecordAndLogsIt) {
    HWND scintilla = MakeWindow(L"Scintilla", frame);
    ASSERT_TRUE(SendFileToNotepad3(frame, kPath.c_str()));
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0].message, 2159u);
    EXPECT_EQ(received[1].message, 2014u);
    EXPECT_EQ(received[2].message, 2026u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(received[i].window, scintilla);
    const Received& copy = received[3];
    EXPECT_EQ(copy.window, frame);
    EXPECT_EQ(copy.wParam, 0u);
    EXPECT_EQ(copy.dwData, 0xFB10u);
    EXPECT_EQ(copy.cbData, 2 * kPath.size() + 50);
    EXPECT_EQ(copy.bytes, BuildNotepadParamRecord(kPath, NotepadFamily::Notepad3));
    EXPECT_EQ(U32At(copy.bytes, 12), 0xFFFFFFFFu);
    EXPECT_TRUE(LogHas(Log(), L"[SendCopyDataHelper] SendCopyData: dwData=0xFB10 cbData=" +
                                  std::to_wstring(2 * kPath.size() + 50) + L" hwnd=" + Hex16(frame) +
                                  L" class=TestEditorFrame"));
}

TEST_F(HandOff, Notepad4WithoutScintillaChildGetsOnlyTheRecord) {
    MakeWindow(L"TestEditorPart", frame);
    ASSERT_TRUE(SendFileToNotepad4(frame, kPath.c_str()));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, static_cast<UINT>(WM_COPYDATA));
    EXPECT_EQ(U32At(received[0].bytes, 8), 2u);
    EXPECT_EQ(U32At(received[0].bytes, 12), 0u);
    EXPECT_EQ(received[0].bytes, BuildNotepadParamRecord(kPath, NotepadFamily::Notepad4));
}

TEST_F(HandOff, ModifiedNotepadDocumentIsNeitherMarkedSavedNorReplaced) {
    MakeWindow(L"Scintilla", frame);
    scintillaModified = 1;
    EXPECT_FALSE(SendFileToNotepad3(frame, kPath.c_str()));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, 2159u);
    EXPECT_TRUE(LogHas(Log(), L"[SendFileToNotepad3] document has unsaved changes, not handed over"));
}

TEST_F(HandOff, NotepadPPGetsTheQuotedPathWithDwData2) {
    MakeWindow(L"Scintilla", frame);
    ASSERT_TRUE(SendFileToNotepadPP(frame, kPath.c_str()));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].dwData, 2u);
    EXPECT_EQ(received[0].cbData, 2 * kPath.size() + 6);
    EXPECT_EQ(received[0].bytes, BuildNotepadPPRecord(kPath));
    EXPECT_TRUE(LogHas(Log(), L"[SendFileToNotepadPP] SendFileToNotepadPP: file=" + kPath + L" cbData=" +
                                  std::to_wstring(2 * kPath.size() + 6) + L" hwnd=" + Hex16(frame)));
}

TEST_F(HandOff, NotepadPPClosesAnUnmodifiedShownDocumentAndCountsOnlyAFileItsTitleNames) {
    MakeWindow(L"Scintilla", frame);
    titleNamesHandedFile = true;
    ViewerState state;
    state.editor.window = frame;
    state.currentFile = L"C:\\docs\\before.txt";
    SetWindowTextW(frame, L"C:\\docs\\before.txt - Notepad++");
    EXPECT_EQ(HandFileToNotepadPP(state, kPath.c_str()), NotepadPPHandOff::Shown);
    EXPECT_EQ(menuCommands, std::vector<LPARAM>{41003});  // File > Close
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].message, 2159u);
    EXPECT_EQ(received[1].message, static_cast<UINT>(WM_USER + 1048));
    EXPECT_EQ(received[2].bytes, BuildNotepadPPRecord(kPath));

    // Modified (the title says so): left open. Not shown: ignored once the bound has passed.
    menuCommands.clear();
    titleNamesHandedFile = false;
    SetWindowTextW(frame, (L"*" + kPath + L" - Notepad++").c_str());
    state.currentFile = kPath;
    const DWORD start = GetTickCount();
    EXPECT_EQ(HandFileToNotepadPP(state, L"C:\\docs\\other.txt"), NotepadPPHandOff::Ignored);
    EXPECT_GE(GetTickCount() - start, kNotepadPPTitleWaitMs);
    EXPECT_TRUE(menuCommands.empty());
    EXPECT_TRUE(LogHas(Log(), L"[HandFileToNotepadPP] shown document has unsaved changes: left open"));
}

// A build that ignores WM_COPYDATA from other programs: NPPM_DOOPEN with the path in the
// editor's memory (here this process), its answer deciding, and later files by NPPM_DOOPEN alone.
// The title is read whole: a path of 1,100 units still names its file.
TEST_F(HandOff, NotepadPPIgnoringCopyDataIsSentDoOpenWithThePathInItsMemory) {
    ViewerState state;
    state.editor.window = frame;
    state.editor.process.reset(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                    GetCurrentProcessId()));
    ASSERT_TRUE(state.editor.process);
    state.editor.path = L"C:\\npp\\notepad++.exe";
    const std::wstring longPath = L"C:\\" + std::wstring(1100, L'l');
    EXPECT_FALSE(NotepadPPOpensByMessage(state.editor.path));
    EXPECT_EQ(HandFileToNotepadPP(state, longPath.c_str()), NotepadPPHandOff::Shown);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].dwData, 2u);
    EXPECT_EQ(received[1].message, static_cast<UINT>(WM_USER + 1077));
    EXPECT_EQ(received[1].path, longPath);
    EXPECT_TRUE(NotepadPPOpensByMessage(state.editor.path));

    received.clear();
    doOpenReply = FALSE;
    state.currentFile = longPath;
    EXPECT_EQ(HandFileToNotepadPP(state, kPath.c_str()), NotepadPPHandOff::Refused);
    ASSERT_EQ(received.size(), 2u);  // the shown one closed, then the file sent by NPPM_DOOPEN only
    EXPECT_EQ(received[0].message, static_cast<UINT>(WM_USER + 1048));
    EXPECT_EQ(received[1].message, static_cast<UINT>(WM_USER + 1077));
    EXPECT_EQ(received[1].path, kPath);
    EXPECT_TRUE(LogHas(Log(), L"[HandFileToNotepadPP] Notepad++ could not open the file [" + kPath + L"]"));

    // Another viewer's editor of the same path: its first file goes by NPPM_DOOPEN at once.
    received.clear();
    doOpenReply = TRUE;
    ViewerState other;
    other.editor.window = frame;
    other.editor.process.reset(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                    GetCurrentProcessId()));
    other.editor.path = state.editor.path;
    const DWORD start = GetTickCount();
    EXPECT_EQ(HandFileToNotepadPP(other, kPath.c_str()), NotepadPPHandOff::Shown);
    EXPECT_LT(GetTickCount() - start, kNotepadPPTitleWaitMs);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, static_cast<UINT>(WM_USER + 1077));
    EXPECT_FALSE(NotepadPPOpensByMessage(L"C:\\other npp\\notepad++.exe"));
}

TEST_F(HandOff, EmEditorReplyDecidesAndWParamIsItsWindow) {
    ASSERT_TRUE(SendFileToEmEditor(frame, kPath.c_str()));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].wParam, reinterpret_cast<WPARAM>(frame));
    EXPECT_EQ(received[0].dwData, 0xE3D17022u);
    EXPECT_EQ(received[0].bytes, BuildEmEditorRecord(kPath));
    EXPECT_TRUE(LogHas(Log(), L"[SendFileToEmEditor] SendFileToEmEditor: WM_COPYDATA to 0x" + Hex16(frame) +
                                  L" file=" + kPath + L" result=1"));
    copyDataReply = 0;
    EXPECT_FALSE(SendFileToEmEditor(frame, kPath.c_str()));
    EXPECT_FALSE(SendFileToEmEditor(frame, L""));
    EXPECT_EQ(received.size(), 2u);
}

TEST_F(HandOff, DeadWindowOrMissingPathIsRefusedWithoutSending) {
    HWND dead = MakeWindow(L"TestEditorFrame", nullptr);
    DestroyWindow(dead);
    for (HWND window : {static_cast<HWND>(nullptr), dead}) {
        EXPECT_FALSE(SendFileToNotepad3(window, kPath.c_str()));
        EXPECT_FALSE(SendFileToNotepad4(window, kPath.c_str()));
        EXPECT_FALSE(SendFileToNotepadPP(window, kPath.c_str()));
        EXPECT_FALSE(SendFileToEmEditor(window, kPath.c_str()));
        EXPECT_FALSE(SendFileByDrop(window, kPath.c_str()));
        EXPECT_FALSE(SendCopyDataHelper(window, "x", 1));
    }
    EXPECT_FALSE(SendFileToNotepad3(frame, nullptr));
    EXPECT_FALSE(SendFileToNotepadPP(frame, nullptr));
    EXPECT_FALSE(SendFileByDrop(frame, L""));
    EXPECT_TRUE(received.empty());
}

TEST_F(HandOff, DropGoesOnlyToTheFirstTargetThatAcceptsFilesWithItsClientCentre) {
    HWND part = MakeWindow(L"TestEditorPart", frame, 0, 300, 200);
    HWND text = MakeWindow(L"TestEditorPart", part, WS_EX_ACCEPTFILES, 101, 77);
    MakeWindow(L"TestEditorPart", frame, WS_EX_ACCEPTFILES, 50, 50);
    ASSERT_TRUE(SendFileByDrop(frame, kPath.c_str()));
    ASSERT_TRUE(WaitFor([] { return !received.empty(); }, 2000));
    PumpMessages();
    ASSERT_EQ(received.size(), 1u);
    const Received& drop = received[0];
    EXPECT_EQ(drop.window, text);
    EXPECT_EQ(drop.droppedFile, kPath);
    EXPECT_TRUE(drop.dropInClient);
    EXPECT_EQ(drop.dropPoint.x, 50);
    EXPECT_EQ(drop.dropPoint.y, 38);
    ASSERT_GE(drop.bytes.size(), 2 * kPath.size() + 24);
    EXPECT_EQ(std::vector<uint8_t>(drop.bytes.begin(), drop.bytes.begin() + 2 * kPath.size() + 24),
              BuildDropBlock(kPath, 50, 38));
    EXPECT_TRUE(LogHas(Log(), L"[SendFileByDrop] SendFileByDrop: posted WM_DROPFILES to 4 targets (root=0x" +
                                  Hex16(frame) + L") file=" + kPath + L" anyOk=1"));
}

TEST_F(HandOff, DropWithoutAnyTargetThatAcceptsFilesPostsNothingAndFails) {
    MakeWindow(L"TestEditorPart", MakeWindow(L"TestEditorPart", frame));
    EXPECT_FALSE(SendFileByDrop(frame, kPath.c_str()));
    PumpMessages();  // a drop would have been posted to a window of this thread
    EXPECT_TRUE(received.empty());
    EXPECT_TRUE(LogHas(Log(), L"[SendFileByDrop] SendFileByDrop: posted WM_DROPFILES to 3 targets (root=0x" +
                                  Hex16(frame) + L") file=" + kPath + L" anyOk=0"));
}

}  // namespace
