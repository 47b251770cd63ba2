// The built velloquin.dll as the host sees it: its exports, version resource and icon.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "../../demo/tour_steps.h"
#include "host/test_host.h"
#include "support/process_resources.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

std::vector<uint8_t> VersionBlock() {
    std::wstring path = DllPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<uint8_t> block(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data())) block.clear();
    return block;
}

std::wstring VersionString(std::vector<uint8_t>& block, const wchar_t* name) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return L"";
    return value;
}

using IdentifyFileFn = BOOL(WINAPI*)(HWND, LPWSTR, void*, HANDLE);
using CreateViewerFn = HWND(WINAPI*)(HWND, LPRECT, DWORD);

constexpr int kWarmUpReloads = 3;
constexpr int kMeasuredReloads = 40;
// One load of the plug-in as a host uses it: identify a file, open a stand-alone viewer and close it.
void LoadUseAndUnload(HWND parent) {
    HMODULE module = LoadLibraryW(DllPath().c_str());
    if (!module) return;
    auto identifyFile = reinterpret_cast<IdentifyFileFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DVP_IdentifyFileW")));
    auto createViewer =
        reinterpret_cast<CreateViewerFn>(reinterpret_cast<void*>(GetProcAddress(module, "DVP_CreateViewer")));
    uint8_t fileInfo[104] = {};
    wchar_t name[] = L"C:\\notes\\a.txt";
    if (identifyFile) identifyFile(nullptr, name, fileInfo, nullptr);
    RECT rect = {0, 0, 200, 100};
    HWND viewer = createViewer ? createViewer(parent, &rect, 0) : nullptr;
    if (viewer) DestroyWindow(viewer);
    FreeLibrary(module);
}

}  // namespace

TEST(Dll, ExportsTheFiveEntryPointsUndecorated) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.module(), nullptr);
    for (const char* name : {"DVP_IdentifyW", "DVP_IdentifyFileW", "DVP_CreateViewer", "DVP_Configure", "DVP_About"}) {
        EXPECT_NE(plugin.Get<void (*)()>(name), nullptr) << name;
    }
}

TEST(Dll, VersionResourceNamesTheProduct) {
    std::vector<uint8_t> block = VersionBlock();
    ASSERT_FALSE(block.empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(VersionString(block, L"FileVersion"), L"1.0.0.0");
    EXPECT_EQ(VersionString(block, L"ProductVersion"), L"1.0.0.0");
    EXPECT_EQ(VersionString(block, L"CompanyName"), L"velloquin");
    EXPECT_EQ(VersionString(block, L"InternalName"), L"velloquin");
    EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"velloquin.dll");
    EXPECT_EQ(VersionString(block, L"ProductName"), L"Directory Opus velloquin");
    EXPECT_EQ(VersionString(block, L"FileDescription"), L"Directory Opus velloquin Viewer Plugin");
}

TEST(Dll, IconOneComesInSixteenThirtyTwoAndFortyEightPixels) {
    HMODULE module = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const uint8_t* directory = static_cast<const uint8_t*>(LockResource(LoadResource(module, group)));
    ASSERT_NE(directory, nullptr);
    // GRPICONDIR: reserved, type, count (u16 each); then 14-byte entries starting with width, height.
    uint16_t count = 0;
    std::memcpy(&count, directory + 4, 2);
    std::vector<int> widths;
    for (uint16_t i = 0; i < count; ++i) widths.push_back(directory[6 + 14 * i] == 0 ? 256 : directory[6 + 14 * i]);
    for (int size : {16, 32, 48}) EXPECT_NE(std::find(widths.begin(), widths.end(), size), widths.end()) << size;
    for (int size : {16, 32, 48}) {
        HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
        EXPECT_NE(icon, nullptr) << size;
        if (icon) DestroyIcon(icon);
    }
    FreeLibrary(module);
}

// A host may unload and load the plug-in again many times (to reload its plug-ins, say): each
// cycle must give back what it took, or the process runs out of TLS slots after about a thousand.
TEST(DllReload, ReloadsLeaveNoTlsSlotHandleOrHeapBlockThatGrows) {
    std::wstring folder = MakeTempDir(L"reload");
    UseTempFolder(folder);
    testhost::Host().configFolder = folder;
    testhost::ResetHost();
    HWND parent = CreateWindowExW(0, L"STATIC", L"reload parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    // The host keeps the system libraries the plug-in imports loaded for good; unloading and
    // loading them again with each cycle would count Wine's own leftovers (a handle per cycle).
    for (const wchar_t* library : {L"comdlg32.dll", L"comctl32.dll", L"shell32.dll"}) LoadLibraryW(library);
    for (int i = 0; i < kWarmUpReloads; ++i) LoadUseAndUnload(parent);
    ProcessResources before = CountProcessResources();
    for (int i = 0; i < kMeasuredReloads; ++i) LoadUseAndUnload(parent);
    ProcessResources after = CountProcessResources();
    DestroyWindow(parent);
    EXPECT_EQ(GetModuleHandleW(L"velloquin.dll"), nullptr);
    EXPECT_LE(after.tlsSlot, before.tlsSlot);
    EXPECT_LE(after.handles, before.handles + 2);
    // A few blocks of the system's own may come and go; the plug-in's were ~74 KB per reload.
    EXPECT_LE(after.heapBlocks, before.heapBlocks + 10);
    EXPECT_LE(after.heapBytes, before.heapBytes + 16 * 1024);
    std::printf(
        "reload x%d: TLS slot %lu -> %lu, handles %zu -> %zu, heap blocks %zu -> %zu, bytes %zu -> %zu\n",
        kMeasuredReloads, before.tlsSlot, after.tlsSlot, before.handles, after.handles, before.heapBlocks,
        after.heapBlocks, before.heapBytes, after.heapBytes);
}

// The demo's tour names files of this project: one that moved would leave its picture at "File not
// found". The source folder of a build on Linux is seen through Wine's drive Z:.
TEST(DemoTour, EveryFileItNamesExists) {
    std::wstring root = Narrow2Wide(VELLOQUIN_SOURCE_DIR);
    if (!root.empty() && root[0] == L'/') root = L"Z:" + root;
    for (const TourStep& step : kTourSteps) {
        EXPECT_NE(GetFileAttributesW((root + L"\\" + step.file).c_str()), INVALID_FILE_ATTRIBUTES)
            << Wide2Utf8(step.file);
    }
}
