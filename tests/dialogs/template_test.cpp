// Dialog templates 100 and 101 as stored in velloquin.dll, read from the DLGTEMPLATEEX bytes.

#include <gtest/gtest.h>

#include <cstring>

#include "resources/resource.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

struct Item {
    uint32_t exStyle, style;
    int16_t x, y, cx, cy;
    uint32_t id;
    std::wstring windowClass;  // lower case
    std::wstring title;
};

struct Template {
    uint32_t exStyle = 0, style = 0;
    int16_t cx = 0, cy = 0;
    uint16_t pointSize = 0;
    std::wstring typeface;
    std::vector<Item> items;
};

class Reader {
   public:
    explicit Reader(const uint8_t* data) : data_(data) {}
    template <typename T>
    T At(size_t offset) const {
        T value;
        std::memcpy(&value, data_ + offset, sizeof(T));
        return value;
    }
    // A name or an ordinal at offset; returns the offset after it.
    size_t NameOrOrdinal(size_t offset, std::wstring& out) const {
        if (At<uint16_t>(offset) == 0xFFFF) {
            out = L"#" + std::to_wstring(At<uint16_t>(offset + 2));
            return offset + 4;
        }
        out.clear();
        while (uint16_t unit = At<uint16_t>(offset)) {
            out.push_back(static_cast<wchar_t>(unit));
            offset += 2;
        }
        return offset + 2;
    }

   private:
    const uint8_t* data_;
};

// The predefined classes may be stored as atoms (0x80 Button, 0x81 Edit, 0x82 Static) or as names
// in any letter case; both create the same control.
std::wstring ClassName(const std::wstring& stored) {
    if (stored == L"button") return L"button";
    if (stored == L"edit") return L"edit";
    if (stored == L"static") return L"static";
    std::wstring lower = stored;
    for (wchar_t& unit : lower) unit = towlower(unit);
    return lower;
}

// Header: 0 version, 2 signature, 4 help id, 8 exStyle, 12 style, 16 item count, 18 x, 20 y, 22 cx,
// 24 cy, 26 menu. Font: point size, weight, italic, charset, typeface. Items DWORD-aligned:
// 0 help id, 4 exStyle, 8 style, 12 x, 14 y, 16 cx, 18 cy, 20 id, 24 class, title, extra count.
Template ReadTemplate(int id) {
    Template result;
    HMODULE module = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC resource = module ? FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5)) : nullptr;
    if (!resource) return result;
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, resource)));
    Reader bytes(data);
    EXPECT_EQ(bytes.At<uint16_t>(0), 1);
    EXPECT_EQ(bytes.At<uint16_t>(2), 0xFFFF);
    result.exStyle = bytes.At<uint32_t>(8);
    result.style = bytes.At<uint32_t>(12);
    uint16_t count = bytes.At<uint16_t>(16);
    result.cx = bytes.At<int16_t>(22);
    result.cy = bytes.At<int16_t>(24);
    std::wstring ignored;
    size_t at = bytes.NameOrOrdinal(26, ignored);
    at = bytes.NameOrOrdinal(at, ignored);
    at = bytes.NameOrOrdinal(at, ignored);
    result.pointSize = bytes.At<uint16_t>(at);
    at = bytes.NameOrOrdinal(at + 6, result.typeface);
    for (uint16_t i = 0; i < count; ++i) {
        at = (at + 3) & ~size_t(3);
        Item item;
        item.exStyle = bytes.At<uint32_t>(at + 4);
        item.style = bytes.At<uint32_t>(at + 8);
        item.x = bytes.At<int16_t>(at + 12);
        item.y = bytes.At<int16_t>(at + 14);
        item.cx = bytes.At<int16_t>(at + 16);
        item.cy = bytes.At<int16_t>(at + 18);
        item.id = bytes.At<uint32_t>(at + 20);
        at = bytes.NameOrOrdinal(at + 24, item.windowClass);
        item.windowClass = ClassName(item.windowClass);
        at = bytes.NameOrOrdinal(at, item.title);
        at += 2 + bytes.At<uint16_t>(at);
        result.items.push_back(item);
    }
    FreeLibrary(module);
    return result;
}

struct Expected {
    uint32_t id;
    const wchar_t* windowClass;
    uint32_t style;
    int16_t x, y, cx, cy;
};

void ExpectItems(const Template& dialog, const std::vector<Expected>& expected) {
    ASSERT_EQ(dialog.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Item& item = dialog.items[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(item.id, expected[i].id);
        EXPECT_EQ(item.windowClass, expected[i].windowClass);
        EXPECT_EQ(item.style, expected[i].style);
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_EQ(item.x, expected[i].x);
        EXPECT_EQ(item.y, expected[i].y);
        EXPECT_EQ(item.cx, expected[i].cx);
        EXPECT_EQ(item.cy, expected[i].cy);
    }
}

}  // namespace

TEST(Templates, ConfigurationDialogIsResizableWithItsTwelveControls) {
    Template dialog = ReadTemplate(100);
    EXPECT_EQ(dialog.style, 0x90CC0048u);
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.cx, 400);
    EXPECT_EQ(dialog.cy, 300);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.typeface, L"MS Shell Dlg");
    ExpectItems(dialog, {
                            {IDC_MAPPINGS_LABEL, L"static", 0x50020000, 10, 10, 200, 10},
                            {IDC_MAPPING_LIST, L"syslistview32", 0x5081800D, 10, 25, 380, 130},
                            {IDC_BTN_ADD, L"button", 0x50010000, 10, 165, 60, 14},
                            {IDC_BTN_EDIT, L"button", 0x50010000, 75, 165, 60, 14},
                            {IDC_BTN_DELETE, L"button", 0x50010000, 140, 165, 60, 14},
                            {IDC_PARAMS_LABEL, L"static", 0x50020000, 10, 190, 100, 10},
                            {IDC_EDITOR_PARAMS, L"edit", 0x50810080, 10, 205, 380, 14},
                            {IDC_CHECK_MAXIMIZE, L"button", 0x50010003, 10, 226, 380, 10},
                            {IDC_CHECK_FOCUS, L"button", 0x50010003, 10, 240, 380, 10},
                            {IDC_CONFIG_PATH_LABEL, L"static", 0x50020000, 10, 256, 380, 10},
                            {1, L"button", 0x50010001, 280, 280, 50, 14},
                            {2, L"button", 0x50010000, 340, 280, 50, 14},
                        });
}

TEST(Templates, MappingEditorIsFixedSizeAndItsBrowseButtonSaysDots) {
    Template dialog = ReadTemplate(101);
    EXPECT_EQ(dialog.style, 0x80C80048u);
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.cx, 360);
    EXPECT_EQ(dialog.cy, 130);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.typeface, L"MS Shell Dlg");
    ExpectItems(dialog, {
                            {IDC_GROUP_LABEL, L"static", 0x50020000, 10, 10, 80, 10},
                            {IDC_EDIT_GROUP, L"edit", 0x50810080, 95, 10, 255, 14},
                            {IDC_EXTS_LABEL, L"static", 0x50020000, 10, 32, 80, 10},
                            {IDC_EDIT_EXTS, L"edit", 0x50810080, 95, 32, 255, 14},
                            {IDC_PATH_LABEL, L"static", 0x50020000, 10, 54, 80, 10},
                            {IDC_EDIT_PATH, L"edit", 0x50810080, 95, 54, 230, 14},
                            {IDC_BTN_BROWSE, L"button", 0x50010000, 330, 54, 20, 14},
                            {1, L"button", 0x50010001, 240, 100, 50, 14},
                            {2, L"button", 0x50010000, 300, 100, 50, 14},
                        });
    ASSERT_EQ(dialog.items.size(), 9u);
    EXPECT_EQ(dialog.items[6].title, L"...");
}
