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
constexpr size_t kDosHeaderSize = 64;
constexpr uint32_t kResourceDirectorySize = 16;
// VS_VERSIONINFO: wLength, wValueLength, wType, the key with its NUL, padding, VS_FIXEDFILEINFO.
constexpr wchar_t kVersionInfoKey[] = L"VS_VERSION_INFO";
constexpr size_t kVersionInfoKeyUnits = 16;  // with the NUL
constexpr size_t kVersionInfoKeyOffset = 6;
constexpr size_t kFixedFileInfoOffset = 40;
constexpr uint16_t kFixedFileInfoSize = 52;
constexpr uint32_t kVersionInfoMinimum = kFixedFileInfoOffset + kFixedFileInfoSize;
static_assert(sizeof(kVersionInfoKey) / sizeof(wchar_t) == kVersionInfoKeyUnits, "the key and its NUL");
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
    uint16_t optionalSize = 0;
    uint16_t sectionCount = 0;
    size_t sectionTable = 0;
};

// True when size bytes from offset lie inside the file.
bool Fits(const Bytes& bytes, size_t offset, size_t size) {
    return offset <= bytes.data.size() && bytes.data.size() - offset >= size;
}

// A PE image has a whole DOS header, the signature and a whole file header.
bool ReadHeaders(const Bytes& bytes, Headers& headers) {
    uint16_t dosSignature = 0;
    uint32_t peOffset = 0;
    uint32_t peSignature = 0;
    if (!Fits(bytes, 0, kDosHeaderSize)) return false;
    if (!bytes.U16(0, dosSignature) || dosSignature != kDosSignature) return false;
    if (!bytes.U32(0x3C, peOffset) || !bytes.U32(peOffset, peSignature) || peSignature != kPeSignature)
        return false;
    headers.fileHeader = static_cast<size_t>(peOffset) + 4;
    if (!Fits(bytes, headers.fileHeader, kFileHeaderSize)) return false;
    headers.optionalHeader = headers.fileHeader + kFileHeaderSize;
    bytes.U16(headers.fileHeader + 2, headers.sectionCount);
    bytes.U16(headers.fileHeader + 16, headers.optionalSize);
    headers.sectionTable = headers.optionalHeader + headers.optionalSize;
    return true;
}

// The optional header and the section table, whole; the version is read only from such an image.
bool HasWholeTables(const Bytes& bytes, const Headers& headers) {
    return Fits(bytes, headers.optionalHeader, headers.optionalSize) &&
           Fits(bytes, headers.sectionTable, kSectionHeaderSize * headers.sectionCount);
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
    const size_t entryOffset = countOffset + 4 + 8 * kResourceDirectoryIndex;
    uint32_t directoryCount = 0;
    uint32_t rva = 0;
    if (entryOffset + 8 > headers.optionalHeader + headers.optionalSize) return 0;
    if (!bytes.U32(countOffset, directoryCount) || directoryCount <= kResourceDirectoryIndex) return 0;
    if (!bytes.U32(entryOffset, rva)) return 0;
    return rva;
}

struct Section {
    uint32_t virtualAddress = 0;
    uint32_t mappedSize = 0;  // what the loader maps: the virtual size, else the raw size
    uint32_t rawSize = 0;
    uint32_t rawPointer = 0;
};

bool ReadSection(const Bytes& bytes, const Headers& headers, uint16_t index, Section& section) {
    const size_t at = headers.sectionTable + kSectionHeaderSize * index;
    uint32_t virtualSize = 0;
    if (!bytes.U32(at + 8, virtualSize) || !bytes.U32(at + 12, section.virtualAddress) ||
        !bytes.U32(at + 16, section.rawSize) || !bytes.U32(at + 20, section.rawPointer))
        return false;
    section.mappedSize = virtualSize != 0 ? virtualSize : section.rawSize;
    return true;
}

// The file offset of size bytes at an RVA. The section that holds the RVA is the one that starts
// nearest below it, so an earlier section with an oversized header cannot shadow it; the bytes
// must lie in that section's raw data and in the file.
bool FileOffsetOf(const Bytes& bytes, const Headers& headers, uint32_t rva, uint32_t size, size_t& offset) {
    bool found = false;
    Section holder;
    for (uint16_t i = 0; i < headers.sectionCount; ++i) {
        Section section;
        if (!ReadSection(bytes, headers, i, section)) return false;
        const bool holds = rva >= section.virtualAddress && rva - section.virtualAddress < section.mappedSize;
        if (holds && (!found || section.virtualAddress > holder.virtualAddress)) {
            holder = section;
            found = true;
        }
    }
    if (!found) return false;
    const uint64_t inSection = rva - holder.virtualAddress;
    if (inSection + size > holder.rawSize) return false;
    offset = static_cast<size_t>(holder.rawPointer + inSection);
    return Fits(bytes, offset, size);
}

// The OffsetToData of the first entry of a directory, 0 when it has none.
uint32_t FirstResourceEntry(const Bytes& bytes, size_t directory) {
    uint16_t named = 0;
    uint16_t ids = 0;
    uint32_t target = 0;
    if (!bytes.U16(directory + 12, named) || !bytes.U16(directory + 14, ids) || named + ids == 0) return 0;
    return bytes.U32(directory + 20, target) ? target : 0;
}

// The OffsetToData of the entry with integer id, 0 when none. Named entries come first and are
// never taken for an id, whatever their name field holds.
uint32_t FindResourceId(const Bytes& bytes, size_t directory, uint32_t id) {
    uint16_t named = 0;
    uint16_t ids = 0;
    if (!bytes.U16(directory + 12, named) || !bytes.U16(directory + 14, ids)) return 0;
    for (uint32_t i = named; i < static_cast<uint32_t>(named) + ids; ++i) {
        uint32_t name = 0;
        uint32_t target = 0;
        if (!bytes.U32(directory + 16 + 8 * i, name) || !bytes.U32(directory + 20 + 8 * i, target)) return 0;
        if (!(name & kHighBit) && name == id) return target;
    }
    return 0;
}

struct ResourceData {
    uint32_t rva = 0;
    uint32_t size = 0;
};

// Walks type RT_VERSION, its first name and its first language to the data entry.
bool FindVersionData(const Bytes& bytes, size_t root, ResourceData& data) {
    const uint32_t byType = FindResourceId(bytes, root, kVersionResourceType);
    if (!(byType & kHighBit)) return false;
    const uint32_t byName = FirstResourceEntry(bytes, root + (byType & ~kHighBit));
    if (!(byName & kHighBit)) return false;
    const uint32_t byLanguage = FirstResourceEntry(bytes, root + (byName & ~kHighBit));
    if (byLanguage == 0 || (byLanguage & kHighBit)) return false;
    return bytes.U32(root + byLanguage, data.rva) && bytes.U32(root + byLanguage + 4, data.size);
}

// VS_VERSIONINFO: its length, a value of exactly one VS_FIXEDFILEINFO, the key "VS_VERSION_INFO"
// and, at the next 32-bit boundary, the fixed info with its signature; all inside the resource.
bool ReadFixedFileVersion(const Bytes& bytes, size_t versionInfo, uint32_t resourceSize,
                          uint16_t (&version)[4]) {
    uint16_t length = 0;
    uint16_t valueLength = 0;
    uint32_t signature = 0;
    uint32_t high = 0;
    uint32_t low = 0;
    if (resourceSize < kVersionInfoMinimum || !bytes.U16(versionInfo, length) ||
        !bytes.U16(versionInfo + 2, valueLength))
        return false;
    if (length < kVersionInfoMinimum || length > resourceSize || valueLength != kFixedFileInfoSize)
        return false;
    for (size_t i = 0; i < kVersionInfoKeyUnits; ++i) {
        uint16_t unit = 0;
        if (!bytes.U16(versionInfo + kVersionInfoKeyOffset + 2 * i, unit) ||
            unit != static_cast<uint16_t>(kVersionInfoKey[i]))
            return false;
    }
    const size_t fixedInfo = versionInfo + kFixedFileInfoOffset;
    if (!bytes.U32(fixedInfo, signature) || signature != kFixedFileInfoSignature) return false;
    if (!bytes.U32(fixedInfo + 8, high) || !bytes.U32(fixedInfo + 12, low)) return false;
    version[0] = static_cast<uint16_t>(high >> 16);
    version[1] = static_cast<uint16_t>(high & 0xFFFF);
    version[2] = static_cast<uint16_t>(low >> 16);
    version[3] = static_cast<uint16_t>(low & 0xFFFF);
    return true;
}

bool ReadVersion(const Bytes& bytes, const Headers& headers, uint16_t (&version)[4]) {
    if (!HasWholeTables(bytes, headers)) return false;
    const uint32_t resourceRva = ResourceDirectoryRva(bytes, headers);
    size_t root = 0;
    ResourceData data;
    size_t versionInfo = 0;
    return resourceRva != 0 && FileOffsetOf(bytes, headers, resourceRva, kResourceDirectorySize, root) &&
           FindVersionData(bytes, root, data) &&
           FileOffsetOf(bytes, headers, data.rva, data.size, versionInfo) &&
           ReadFixedFileVersion(bytes, versionInfo, data.size, version);
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
