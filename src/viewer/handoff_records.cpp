#include "viewer/handoff_records.h"

namespace {

constexpr uint32_t kAcceptFilesStyle = 0x00000010;  // WS_EX_ACCEPTFILES
constexpr size_t kNotepadRecordHeaderSize = 48;
constexpr size_t kDropHeaderSize = 20;
constexpr uint32_t kNotepad4ChangeNotifyNotSet = 2;

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Writes the path's UTF-16 units little-endian; the bytes after it stay zero (its NUL).
void PutPath(std::vector<uint8_t>& bytes, size_t offset, const std::wstring& path) {
    for (size_t i = 0; i < path.size(); ++i) {
        const uint16_t unit = static_cast<uint16_t>(path[i]);
        bytes[offset + 2 * i] = static_cast<uint8_t>(unit & 0xFF);
        bytes[offset + 2 * i + 1] = static_cast<uint8_t>(unit >> 8);
    }
}

}  // namespace

std::vector<uint8_t> BuildNotepadParamRecord(const std::wstring& path, NotepadFamily family) {
    std::vector<uint8_t> record(kNotepadRecordHeaderSize + 2 * path.size() + 2, 0);
    PutU32(record, 0, 1);
    // Notepad4 reads offset 8 as its three-state change notify: 2 ("not set") leaves the user's
    // file-watching mode alone, any other value overrides it and is saved at exit. For Notepad3 the
    // same integer is "lexer specified" and stays 0.
    if (family == NotepadFamily::Notepad4) PutU32(record, 8, kNotepad4ChangeNotifyNotSet);
    PutU32(record, 12, family == NotepadFamily::Notepad3 ? 0xFFFFFFFFu : 0u);
    PutU32(record, 32, 0xFFFFFFFFu);
    PutPath(record, kNotepadRecordHeaderSize, path);
    return record;
}

std::vector<uint8_t> BuildNotepadPPRecord(const std::wstring& path) {
    return BuildEmEditorRecord(L"\"" + path + L"\"");
}

std::vector<uint8_t> BuildEmEditorRecord(const std::wstring& path) {
    std::vector<uint8_t> record(2 * path.size() + 2, 0);
    PutPath(record, 0, path);
    return record;
}

std::vector<uint8_t> BuildDropBlock(const std::wstring& path, int32_t x, int32_t y) {
    std::vector<uint8_t> block(kDropHeaderSize + 2 * path.size() + 4, 0);
    PutU32(block, 0, static_cast<uint32_t>(kDropHeaderSize));
    PutU32(block, 4, static_cast<uint32_t>(x));
    PutU32(block, 8, static_cast<uint32_t>(y));
    PutU32(block, 16, 1);
    PutPath(block, kDropHeaderSize, path);
    return block;
}

int32_t DropPointCoordinate(int32_t clientExtent) {
    return clientExtent / 2;
}

size_t FirstDropTarget(const std::vector<uint32_t>& extendedStyles) {
    for (size_t i = 0; i < extendedStyles.size(); ++i) {
        if (extendedStyles[i] & kAcceptFilesStyle) return i;
    }
    return kNoDropTarget;
}
