// Dialog templates 100 and 101 as stored in velloquin.dll, read from the DLGTEMPLATEEX bytes.

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

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

const Item* FindItem(const Template& dialog, uint32_t id) {
    for (const Item& item : dialog.items)
        if (item.id == id) return &item;
    return nullptr;
}

constexpr uint32_t kAnyButtonType = 0xFFFFFFFF;

struct Role {
    uint32_t id;
    const wchar_t* windowClass;
    uint32_t buttonType = kAnyButtonType;  // BS_* in the low four bits, for buttons
};

// Each control the dialog code drives is there once, of the class and button type it is driven as.
void ExpectControls(const Template& dialog, std::initializer_list<Role> roles) {
    for (const Role& role : roles) {
        SCOPED_TRACE(role.id);
        int count = 0;
        for (const Item& item : dialog.items) count += item.id == role.id ? 1 : 0;
        ASSERT_EQ(count, 1);
        const Item& item = *FindItem(dialog, role.id);
        EXPECT_EQ(item.windowClass, role.windowClass);
        if (role.buttonType != kAnyButtonType) EXPECT_EQ(item.style & 0xF, role.buttonType);
    }
}

bool Overlap(const Item& a, const Item& b) {
    return a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
}

// Every control is visible, lies inside the dialog at its template size and covers no other one.
void ExpectLaidOutInside(const Template& dialog) {
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        const Item& item = dialog.items[i];
        SCOPED_TRACE(item.id);
        EXPECT_TRUE(item.style & WS_VISIBLE);
        EXPECT_GE(item.x, 0);
        EXPECT_GE(item.y, 0);
        EXPECT_GT(item.cx, 0);
        EXPECT_GT(item.cy, 0);
        EXPECT_LE(item.x + item.cx, dialog.cx);
        EXPECT_LE(item.y + item.cy, dialog.cy);
        for (size_t j = i + 1; j < dialog.items.size(); ++j)
            EXPECT_FALSE(Overlap(item, dialog.items[j])) << "overlaps control " << dialog.items[j].id;
    }
}

// OK (the default button) and Cancel share the bottom row, OK first, below everything else.
void ExpectOkCancelBelowEverything(const Template& dialog) {
    const Item* ok = FindItem(dialog, IDOK);
    const Item* cancel = FindItem(dialog, IDCANCEL);
    ASSERT_TRUE(ok && cancel);
    EXPECT_EQ(ok->style & 0xF, static_cast<uint32_t>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(ok->y, cancel->y);
    EXPECT_LT(ok->x + ok->cx, cancel->x);
    for (const Item& item : dialog.items) {
        if (item.id == IDOK || item.id == IDCANCEL) continue;
        SCOPED_TRACE(item.id);
        EXPECT_LE(item.y + item.cy, ok->y);
    }
}

// A label reads before its field: on the field's row to its left, or above it.
void ExpectLabelBefore(const Template& dialog, uint32_t labelId, uint32_t fieldId) {
    const Item* label = FindItem(dialog, labelId);
    const Item* field = FindItem(dialog, fieldId);
    ASSERT_TRUE(label && field);
    SCOPED_TRACE(labelId);
    bool leftOnRow = label->x + label->cx <= field->x && label->y < field->y + field->cy &&
                     field->y < label->y + label->cy;
    bool above = label->y + label->cy <= field->y && label->x <= field->x + field->cx;
    EXPECT_TRUE(leftOnRow || above);
}

}  // namespace

TEST(Templates, ConfigurationDialogIsResizableAndEachControlHasItsOwnPlace) {
    Template dialog = ReadTemplate(100);
    EXPECT_EQ(dialog.style, 0x90CC0048u);
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.cx, 400);
    EXPECT_EQ(dialog.cy, 314);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.typeface, L"MS Shell Dlg");
    ExpectControls(dialog, {
                               {IDC_MAPPINGS_LABEL, L"static"},
                               {IDC_MAPPING_LIST, L"syslistview32"},
                               {IDC_BTN_ADD, L"button", BS_PUSHBUTTON},
                               {IDC_BTN_EDIT, L"button", BS_PUSHBUTTON},
                               {IDC_BTN_DELETE, L"button", BS_PUSHBUTTON},
                               {IDC_BTN_UP, L"button", BS_PUSHBUTTON},
                               {IDC_BTN_DOWN, L"button", BS_PUSHBUTTON},
                               {IDC_BTN_FIND, L"button", BS_PUSHBUTTON},
                               {IDC_PARAMS_LABEL, L"static"},
                               {IDC_EDITOR_PARAMS, L"edit"},
                               {IDC_CHECK_MAXIMIZE, L"button", BS_AUTOCHECKBOX},
                               {IDC_CHECK_FOCUS, L"button", BS_AUTOCHECKBOX},
                               {IDC_CHECK_KEEP_READY, L"button", BS_AUTOCHECKBOX},
                               {IDC_CONFIG_PATH_LABEL, L"static"},
                               {IDOK, L"button"},
                               {IDCANCEL, L"button", BS_PUSHBUTTON},
                           });
    // The list view shows one row per mapping in columns, with the selection kept visible.
    EXPECT_EQ(FindItem(dialog, IDC_MAPPING_LIST)->style & (LVS_TYPEMASK | LVS_SHOWSELALWAYS),
              static_cast<uint32_t>(LVS_REPORT | LVS_SHOWSELALWAYS));
    ExpectLaidOutInside(dialog);
    ExpectOkCancelBelowEverything(dialog);
    ExpectLabelBefore(dialog, IDC_MAPPINGS_LABEL, IDC_MAPPING_LIST);
    ExpectLabelBefore(dialog, IDC_PARAMS_LABEL, IDC_EDITOR_PARAMS);
}

TEST(Templates, MappingEditorIsFixedSizeWithEachLabelBeforeItsFieldAndADotsBrowseButton) {
    Template dialog = ReadTemplate(101);
    EXPECT_EQ(dialog.style, 0x80C80048u);
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.cx, 360);
    EXPECT_EQ(dialog.cy, 130);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.typeface, L"MS Shell Dlg");
    ExpectControls(dialog, {
                               {IDC_GROUP_LABEL, L"static"},
                               {IDC_EDIT_GROUP, L"edit"},
                               {IDC_EXTS_LABEL, L"static"},
                               {IDC_EDIT_EXTS, L"edit"},
                               {IDC_PATH_LABEL, L"static"},
                               {IDC_EDIT_PATH, L"edit"},
                               {IDC_BTN_BROWSE, L"button", BS_PUSHBUTTON},
                               {IDOK, L"button"},
                               {IDCANCEL, L"button", BS_PUSHBUTTON},
                           });
    ExpectLaidOutInside(dialog);
    ExpectOkCancelBelowEverything(dialog);
    ExpectLabelBefore(dialog, IDC_GROUP_LABEL, IDC_EDIT_GROUP);
    ExpectLabelBefore(dialog, IDC_EXTS_LABEL, IDC_EDIT_EXTS);
    ExpectLabelBefore(dialog, IDC_PATH_LABEL, IDC_EDIT_PATH);
    const Item* path = FindItem(dialog, IDC_EDIT_PATH);
    const Item* browse = FindItem(dialog, IDC_BTN_BROWSE);
    EXPECT_EQ(browse->y, path->y);
    EXPECT_GE(browse->x, path->x + path->cx);
    EXPECT_EQ(browse->title, L"...");
}
