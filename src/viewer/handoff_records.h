#pragma once
// The bytes handed to a running editor: WM_COPYDATA records and the WM_DROPFILES block.
// Pure functions of the path, so that every byte is checked directly.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kNotepadParamsCopyDataId = 0xFB10;
constexpr uint32_t kNotepadPPCopyDataId = 2;
constexpr uint32_t kEmEditorCopyDataId = 0xE3D17022;
constexpr size_t kNoDropTarget = static_cast<size_t>(-1);

enum class NotepadFamily { Notepad3, Notepad4 };

// 2n + 50 bytes laid out as x64 Notepad4 24.09+ and Notepad3 read them; the two families differ
// in the integers at offsets 8 and 12.
std::vector<uint8_t> BuildNotepadParamRecord(const std::wstring& path, NotepadFamily family);
// 2n + 6 bytes: the path in double quotes with its terminating NUL.
std::vector<uint8_t> BuildNotepadPPRecord(const std::wstring& path);
// 2n + 2 bytes: the path with its terminating NUL.
std::vector<uint8_t> BuildEmEditorRecord(const std::wstring& path);
// 2n + 24 bytes: DROPFILES header with the drop point, one wide file name, the empty name.
std::vector<uint8_t> BuildDropBlock(const std::wstring& path, int32_t x, int32_t y);
// The drop point for a client extent: half of it, truncated.
int32_t DropPointCoordinate(int32_t clientExtent);
// Index of the first target whose extended style takes dropped files, or kNoDropTarget.
size_t FirstDropTarget(const std::vector<uint32_t>& extendedStyles);
