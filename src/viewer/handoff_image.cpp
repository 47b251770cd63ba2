#include "viewer/handoff_image.h"

namespace {

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kDosSignature = 0x5A4D;     // "MZ"
constexpr uint16_t kOptionalMagicPe32 = 0x10B;
constexpr uint16_t kOptionalMagicPe32Plus = 0x20B;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kVersionResourceType = 16;  // RT_VERSION
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr size_t kFixedInfoSearchLimit = 128;  // VS_FIXEDFILEINFO follows the short "VS_VERSION_INFO" key
constexpr uint16_t kNotepad4RecordYear = 24;
constexpr uint16_t kNotepad4RecordMonth = 9;

// Little-endian reads that answer false instead of reading past the end.
struct Bytes {
    const std::vector<uint8_t>& data;
    bool U16(size_t offset, uint16_t& value) const {
        if (offset > data.size() || data.size() - offset < 2) return false;
        value = static_cast<uint16_t>(data[offset] | (data[offset + 1] << 8));
        return true;
    }
    bool U32(size_t offset, uint32_t& value) const {
        uint16_t low = 0;
        uint16_t high = 0;
        if (!U16(offset, low) || !U16(offset + 2, high)) return false;
        value = static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16);
        return true;
    }
};

struct Headers {
    size_t fileHeader = 0;  // offset of IMAGE_FILE_HEADER
    size_t optionalHeader = 0;
    uint16_t sectionCount = 0;
    size_t sectionTable = 0;
};

bool ReadHeaders(const Bytes& bytes, Headers& headers) {
    uint16_t dosSignature = 0;
    uint32_t peOffset = 0;
    uint32_t peSignature = 0;
    uint16_t optionalSize = 0;
    if (!bytes.U16(0, dosSignature) || dosSignature != kDosSignature) return false;
    if (!bytes.U32(0x3C, peOffset) || !bytes.U32(peOffset, peSignature) || peSignature != kPeSignature)
        return false;
    headers.fileHeader = static_cast<size_t>(peOffset) + 4;
    headers.optionalHeader = headers.fileHeader + kFileHeaderSize;
    if (!bytes.U16(headers.fileHeader + 2, headers.sectionCount) ||
        !bytes.U16(headers.fileHeader + 16, optionalSize))
        return false;
    headers.sectionTable = headers.optionalHeader + optionalSize;
    return true;
}

// The RVA of the resource directory, 0 when there is none.
uint32_t ResourceDirectoryRva(const Bytes& bytes, const Headers& headers) {
    uint16_t magic = 0;
    if (!bytes.U16(headers.optionalHeader, magic)) return 0;
    size_t countOffset = 0;
    if (magic == kOptionalMagicPe32Plus)
        countOffset = headers.optionalHeader + 108;
    else if (magic == kOptionalMagicPe32)
        countOffset = headers.optionalHeader + 92;
    else
        return 0;
    uint32_t directoryCount = 0;
    uint32_t rva = 0;
    if (!bytes.U32(countOffset, directoryCount) || directoryCount <= kResourceDirectoryIndex) return 0;
    if (!bytes.U32(countOffset + 4 + 8 * kResourceDirectoryIndex, rva)) return 0;
    return rva;
}

// The file offset of an RVA through the section table; false when no section holds it.
bool FileOffsetOf(const Bytes& bytes, const Headers& headers, uint32_t rva, size_t& offset) {
    for (uint16_t i = 0; i < headers.sectionCount; ++i) {
        const size_t section = headers.sectionTable + kSectionHeaderSize * i;
        uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawPointer = 0;
        if (!bytes.U32(section + 8, virtualSize) || !bytes.U32(section + 12, virtualAddress) ||
            !bytes.U32(section + 16, rawSize) || !bytes.U32(section + 20, rawPointer))
            return false;
        const uint32_t extent = virtualSize > rawSize ? virtualSize : rawSize;
        if (rva >= virtualAddress && rva - virtualAddress < extent) {
            offset = static_cast<size_t>(rawPointer) + (rva - virtualAddress);
            return true;
        }
    }
    return false;
}

// The OffsetToData of the entry with id (or of the first entry when anyEntry), 0 when none.
uint32_t FindResourceEntry(const Bytes& bytes, size_t directory, uint32_t id, bool anyEntry) {
    uint16_t named = 0;
    uint16_t ids = 0;
    if (!bytes.U16(directory + 12, named) || !bytes.U16(directory + 14, ids)) return 0;
    for (uint32_t i = 0; i < static_cast<uint32_t>(named) + ids; ++i) {
        uint32_t name = 0;
        uint32_t target = 0;
        if (!bytes.U32(directory + 16 + 8 * i, name) || !bytes.U32(directory + 20 + 8 * i, target)) return 0;
        if (anyEntry || name == id) return target;
    }
    return 0;
}

// Walks type RT_VERSION, its first name and its first language to the data entry's RVA.
bool FindVersionData(const Bytes& bytes, size_t root, uint32_t& dataRva) {
    const uint32_t byType = FindResourceEntry(bytes, root, kVersionResourceType, false);
    if (!(byType & kHighBit)) return false;
    const uint32_t byName = FindResourceEntry(bytes, root + (byType & ~kHighBit), 0, true);
    if (!(byName & kHighBit)) return false;
    const uint32_t byLanguage = FindResourceEntry(bytes, root + (byName & ~kHighBit), 0, true);
    if (byLanguage == 0 || (byLanguage & kHighBit)) return false;
    return bytes.U32(root + byLanguage, dataRva);
}

bool ReadFixedFileVersion(const Bytes& bytes, size_t versionInfo, uint16_t (&version)[4]) {
    for (size_t at = versionInfo; at < versionInfo + kFixedInfoSearchLimit; at += 4) {
        uint32_t signature = 0;
        if (!bytes.U32(at, signature)) return false;
        if (signature != kFixedFileInfoSignature) continue;
        uint32_t high = 0;
        uint32_t low = 0;
        if (!bytes.U32(at + 8, high) || !bytes.U32(at + 12, low)) return false;
        version[0] = static_cast<uint16_t>(high >> 16);
        version[1] = static_cast<uint16_t>(high & 0xFFFF);
        version[2] = static_cast<uint16_t>(low >> 16);
        version[3] = static_cast<uint16_t>(low & 0xFFFF);
        return true;
    }
    return false;
}

bool ReadVersion(const Bytes& bytes, const Headers& headers, uint16_t (&version)[4]) {
    const uint32_t resourceRva = ResourceDirectoryRva(bytes, headers);
    size_t root = 0;
    uint32_t dataRva = 0;
    size_t versionInfo = 0;
    return resourceRva != 0 && FileOffsetOf(bytes, headers, resourceRva, root) &&
           FindVersionData(bytes, root, dataRva) && FileOffsetOf(bytes, headers, dataRva, versionInfo) &&
           ReadFixedFileVersion(bytes, versionInfo, version);
}

}  // namespace

EditorImage ParseEditorImage(const std::vector<uint8_t>& file) {
    EditorImage image;
    const Bytes bytes{file};
    Headers headers;
    if (!ReadHeaders(bytes, headers) || !bytes.U16(headers.fileHeader, image.machine)) return image;
    image.isPe = true;
    image.hasVersion = ReadVersion(bytes, headers, image.version);
    return image;
}

bool Notepad4ReadsCurrentRecord(const EditorImage& image) {
    if (!image.isPe || image.machine != kMachineX64 || !image.hasVersion) return false;
    if (image.version[0] != kNotepad4RecordYear) return image.version[0] > kNotepad4RecordYear;
    return image.version[1] >= kNotepad4RecordMonth;
}
