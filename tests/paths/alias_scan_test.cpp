// The alias file text: the entry scan, entity decoding, where the file lies, which sizes pass.

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <utility>
#include <vector>

#include "paths/alias_scan.h"

namespace {

using Entries = std::vector<std::pair<std::wstring, std::wstring>>;

Entries Scan(const std::wstring& text, AliasTable& table) {
    Entries added;
    ScanAliasEntries(text, table, [&](const std::wstring& label, const std::wstring& folder) {
        added.emplace_back(label, folder);
    });
    return added;
}

Entries Scan(const std::wstring& text) {
    AliasTable table;
    return Scan(text, table);
}

std::wstring Entry(const std::wstring& label, const std::wstring& folder) {
    return L"<path label=\"" + label + L"\"><pathstring>" + folder + L"</pathstring></path>\r\n";
}

}  // namespace

TEST(AliasScan, StoresEntriesInTextOrderWithLowerCaseLabelsAndFolderTextAsWritten) {
    std::wstring text = L"<?xml version=\"1.0\"?>\r\n<folderaliases>\r\n"
                        L"<path label=\"MyTools\" type=\"1\"><name>x</name><pathstring>  C:\\My Tools  </pathstring></path>\r\n" +
                        Entry(L"empty", L"") + Entry(L"b", L"D:/B") + L"</folderaliases>";
    Entries expected = {{L"mytools", L"  C:\\My Tools  "}, {L"empty", L""}, {L"b", L"D:/B"}};
    EXPECT_EQ(Scan(text), expected);
}

TEST(AliasScan, FirstLabelWinsWithoutRegardToCase) {
    AliasTable table;
    Entries added = Scan(Entry(L"Tools", L"A") + Entry(L"TOOLS", L"B") + Entry(L"tools", L"C"), table);
    EXPECT_EQ(added, (Entries{{L"tools", L"A"}}));
    EXPECT_EQ(table.size(), 1u);
}

TEST(AliasScan, LabelWhoseValueComesAfterTheNextEntryGetsNothingAndTakesNoSlot) {
    std::wstring text = L"<path label=\"a\"></path>" + Entry(L"b", L"B") + Entry(L"a", L"A2");
    EXPECT_EQ(Scan(text), (Entries{{L"b", L"B"}, {L"a", L"A2"}}));
}

TEST(AliasScan, StopRulesKeepWhatWasStoredBefore) {
    std::wstring first = Entry(L"x", L"X");
    // No "</pathstring>" anywhere after the value starts.
    EXPECT_EQ(Scan(first + L"<path label=\"y\"><pathstring>Y"), (Entries{{L"x", L"X"}}));
    // The marker ends the text; a label without its closing quote.
    EXPECT_EQ(Scan(first + L"<path label=\""), (Entries{{L"x", L"X"}}));
    EXPECT_EQ(Scan(first + L"<path label=\"y><pathstring>Y</pathstring>"), (Entries{{L"x", L"X"}}));
    // Labels with no "<pathstring>" after them at all.
    EXPECT_EQ(Scan(L"<path label=\"a\"></path><path label=\"b\">"), Entries{});
    // Markers are literal and case-sensitive.
    EXPECT_EQ(Scan(L"<PATH label=\"a\"><pathstring>A</pathstring><path label='b'><pathstring>B</pathstring>"),
              Entries{});
    EXPECT_EQ(Scan(L""), Entries{});
}

TEST(AliasScan, ManyLabelsWithoutValuesAreScannedInLinearTime) {
    std::wstring text;
    while (text.size() < kMaxAliasFileBytes) text += L"<path label=\"x\">";
    text += Entry(L"last", L"L");
    auto start = std::chrono::steady_clock::now();
    Entries added = Scan(text);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(added, (Entries{{L"last", L"L"}}));
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 3000);
}

TEST(AliasScan, LabelsAndFoldersAreEntityDecodedBeforeTheLabelIsLowerCased) {
    AliasTable table;
    Entries added = Scan(Entry(L"A&amp;B", L"C:\\Tools &amp; Utils") + Entry(L"a&#38;b", L"other") +
                             Entry(L"Up&AMP;", L"%ROOT%\\&#x41;"),
                         table);
    EXPECT_EQ(added, (Entries{{L"a&b", L"C:\\Tools & Utils"}, {L"up&amp;", L"%ROOT%\\A"}}));
}

TEST(XmlEntities, PredefinedAndNumericReferencesAreDecoded) {
    EXPECT_EQ(DecodeXmlEntities(L"&amp;&lt;&gt;&quot;&apos;"), L"&<>\"'");
    EXPECT_EQ(DecodeXmlEntities(L"&#65;&#x42;&#xe9;&#XYZ;&#0067;"), L"AB\u00e9&#XYZ;C");
    std::wstring pair = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(DecodeXmlEntities(L"a&#x1F600;b&#128512;"), L"a" + pair + L"b" + pair);
    EXPECT_EQ(DecodeXmlEntities(L"&amp;lt;"), L"&lt;");
}

TEST(XmlEntities, UnknownMalformedOrInvalidReferencesStayAsWritten) {
    const wchar_t* unchanged[] = {L"&AMP;", L"&amp",     L"&nbsp;",     L"&#;",       L"&#x;",
                                  L"&#0;",  L"&#xD800;", L"&#xDFFF;",   L"&#x110000;", L"&#99999999999;",
                                  L"&#X41;", L"&#65a;",  L"& Utils",    L"&",         L"&#",
                                  L"&#x41"};
    for (const wchar_t* text : unchanged) EXPECT_EQ(DecodeXmlEntities(text), text);
}

TEST(AliasFile, LocationIsTheHostPathCutBeforeItsLastSeparator) {
    EXPECT_EQ(AliasFilePathFor(L"C:\\cfg\\"), L"C:\\cfg\\folderaliases.oxc");
    EXPECT_EQ(AliasFilePathFor(L"C:\\cfg\\sub"), L"C:\\cfg\\folderaliases.oxc");
    EXPECT_EQ(AliasFilePathFor(L"C:/a/b"), L"C:/a\\folderaliases.oxc");
    EXPECT_EQ(AliasFilePathFor(L"cfg"), L"cfg\\folderaliases.oxc");
}

TEST(AliasFile, SizeFromOneByteToOneMebibyteIsRead) {
    EXPECT_FALSE(IsAliasFileSizeValid(0));
    EXPECT_TRUE(IsAliasFileSizeValid(1));
    EXPECT_TRUE(IsAliasFileSizeValid(1048576));
    EXPECT_FALSE(IsAliasFileSizeValid(1048577));
    EXPECT_FALSE(IsAliasFileSizeValid(-1));
    EXPECT_FALSE(IsAliasFileSizeValid(LLONG_MIN));
}

TEST(AliasFile, OnlyAFullByteOrderMarkIsSkipped) {
    const uint8_t mark[] = {0xEF, 0xBB, 0xBF, 0x3C};
    const uint8_t almost[] = {0xEF, 0xBB, 0xBE};
    EXPECT_EQ(Utf8ByteOrderMarkLength(mark, 4), 3u);
    EXPECT_EQ(Utf8ByteOrderMarkLength(mark, 3), 3u);
    EXPECT_EQ(Utf8ByteOrderMarkLength(mark, 2), 0u);
    EXPECT_EQ(Utf8ByteOrderMarkLength(almost, 3), 0u);
}
