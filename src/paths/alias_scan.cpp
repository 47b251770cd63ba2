#include "paths/alias_scan.h"

#include "common/text.h"

namespace {

constexpr wchar_t kEntryMarker[] = L"<path label=\"";
constexpr size_t kEntryMarkerLength = 13;
constexpr wchar_t kValueOpen[] = L"<pathstring>";
constexpr size_t kValueOpenLength = 12;
constexpr wchar_t kValueClose[] = L"</pathstring>";
constexpr uint32_t kMaxCodePoint = 0x10FFFF;

struct NamedEntity {
    const wchar_t* reference;
    size_t length;
    wchar_t character;
};
constexpr NamedEntity kNamedEntities[] = {
    {L"&amp;", 5, L'&'}, {L"&lt;", 4, L'<'}, {L"&gt;", 4, L'>'}, {L"&quot;", 6, L'"'}, {L"&apos;", 6, L'\''},
};

// Answers "next occurrence at or after from" and remembers the last answer. A file full of labels
// without values would otherwise search to its end once per label.
class ForwardFinder {
   public:
    ForwardFinder(const std::wstring& text, const wchar_t* needle) : text_(text), needle_(needle) {}
    size_t From(size_t from) {
        bool stillValid = searched_ && from >= from_ && (found_ == std::wstring::npos || from <= found_);
        if (!stillValid) {
            found_ = text_.find(needle_, from);
            from_ = from;
            searched_ = true;
        }
        return found_;
    }

   private:
    const std::wstring& text_;
    const wchar_t* needle_;
    bool searched_ = false;
    size_t from_ = 0;
    size_t found_ = std::wstring::npos;
};

bool IsValidCharacter(uint32_t c) {
    return c != 0 && c <= kMaxCodePoint && (c < 0xD800 || c > 0xDFFF);
}

void AppendUtf16(std::wstring& out, uint32_t c) {
    if (c < 0x10000) {
        out += static_cast<wchar_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (c >> 10));
    out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
}

int DigitValue(wchar_t c, uint32_t base) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (base == 16 && c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (base == 16 && c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// "&#NN;" or "&#xHH;" at text[at]: appends the character and returns the reference's length,
// or returns 0 when it is malformed or names no valid character.
size_t DecodeNumericReference(const std::wstring& text, size_t at, std::wstring& out) {
    size_t pos = at + 2;
    uint32_t base = 10;
    if (pos < text.size() && text[pos] == L'x') {
        base = 16;
        ++pos;
    }
    const size_t firstDigit = pos;
    uint32_t value = 0;
    while (pos < text.size()) {
        int digit = DigitValue(text[pos], base);
        if (digit < 0) break;
        if (value <= kMaxCodePoint) value = value * base + static_cast<uint32_t>(digit);
        ++pos;
    }
    if (pos == firstDigit || pos >= text.size() || text[pos] != L';' || !IsValidCharacter(value)) return 0;
    AppendUtf16(out, value);
    return pos + 1 - at;
}

size_t DecodeReference(const std::wstring& text, size_t at, std::wstring& out) {
    if (at + 1 < text.size() && text[at + 1] == L'#') return DecodeNumericReference(text, at, out);
    for (const NamedEntity& entity : kNamedEntities) {
        if (text.compare(at, entity.length, entity.reference) == 0) {
            out += entity.character;
            return entity.length;
        }
    }
    return 0;
}

}  // namespace

std::wstring AliasFilePathFor(const std::wstring& hostConfigPath) {
    return FolderOf(hostConfigPath) + L"\\" + kAliasFileName;
}

bool IsAliasFileSizeValid(long long size) {
    return static_cast<unsigned long long>(size) - 1 <=
           static_cast<unsigned long long>(kMaxAliasFileBytes - 1);
}

size_t Utf8ByteOrderMarkLength(const uint8_t* bytes, size_t size) {
    bool hasMark = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    return hasMark ? 3 : 0;
}

std::wstring DecodeXmlEntities(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        size_t consumed = text[at] == L'&' ? DecodeReference(text, at, out) : 0;
        if (consumed == 0) {
            out += text[at];
            consumed = 1;
        }
        at += consumed;
    }
    return out;
}

void ScanAliasEntries(const std::wstring& text, AliasTable& table, const AliasAddedFn& onAdded) {
    ForwardFinder entries(text, kEntryMarker);
    ForwardFinder valueOpens(text, kValueOpen);
    size_t p = 0;
    while (p < text.size()) {
        size_t marker = entries.From(p);
        if (marker == std::wstring::npos) return;
        size_t a = marker + kEntryMarkerLength;
        if (a >= text.size()) return;
        size_t q = text.find(L'"', a);
        if (q == std::wstring::npos) return;
        size_t next = entries.From(q);
        size_t s = valueOpens.From(q);
        if (s == std::wstring::npos) {
            p = q;
            continue;
        }
        if (next != std::wstring::npos && s > next) {
            p = next;  // the "<pathstring>" belongs to a later entry: this label has no value
            continue;
        }
        size_t v = s + kValueOpenLength;
        size_t close = text.find(kValueClose, v);
        if (close == std::wstring::npos) return;
        std::wstring label = LowerCased(DecodeXmlEntities(text.substr(a, q - a)));
        if (table.find(label) == table.end()) {
            const std::wstring& folder =
                table.emplace(label, DecodeXmlEntities(text.substr(v, close - v))).first->second;
            if (onAdded) onAdded(label, folder);
        }
        p = close;
    }
}
