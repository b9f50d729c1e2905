// Reading files: byte-order marks, declared encodings, the UTF-8 test, the
// result report of a load, and files that cannot be read. The fixtures are one
// document written in each encoding at test time.
#include "xml/xml_document.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace kelm {
namespace {

using Bytes = std::string;

constexpr const wchar_t* kTitle = L"\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440 & co";
constexpr const wchar_t* kBody =
    L"<doc>\r\n  <title>\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440 &amp; co</title>\r\n</doc>\r\n";

Bytes Encode(unsigned codePage, const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    Bytes bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    // The fixture must hold the text exactly, not a best-fit look-alike.
    const int units = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    std::wstring back(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), size, back.data(), units);
    EXPECT_EQ(back, text) << "code page " << codePage;
    return bytes;
}

Bytes Utf16(const std::wstring& text, bool bigEndian)
{
    Bytes bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        bytes += bigEndian ? Bytes{high, low} : Bytes{low, high};
    }
    return bytes;
}

std::wstring Declaration(const wchar_t* encoding)
{
    return std::wstring(L"<?xml version=\"1.0\" encoding=\"") + encoding + L"\"?>\r\n";
}

std::wstring Number(std::size_t value)
{
    return std::to_wstring(value);
}

// Writes a file into the scratch folder and gives its path.
std::wstring WriteInto(const test::TempFolder& folder, const wchar_t* name, const Bytes& bytes)
{
    const std::wstring path = folder.File(name);
    EXPECT_TRUE(test::WriteFileBytes(path, bytes)) << "cannot write " << path;
    return path;
}

struct Fixture {
    const wchar_t* name;
    Bytes bytes;
    std::wstring report;
};

std::wstring ReadTitle(CXmlDocument& document)
{
    if (document.FindElement(L"html")) {
        document.FindChildElement(L"body");
        document.EnterElement();
        document.FindChildElement(L"doc");
        document.EnterElement();
    } else {
        document.FindElement(L"doc");
    }
    document.FindChildElement(L"title");
    return document.GetChildElementText();
}

TEST(LoadFile, DecodesOneDocumentFromEveryEncoding)
{
    const std::wstring body = kBody;
    const std::wstring utf8Text = Declaration(L"utf-8") + body;
    const std::wstring cyrillicText = Declaration(L"windows-1251") + body;
    const std::wstring japaneseText = Declaration(L"Shift_JIS") + body;
    const std::wstring htmlText =
        L"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\"/></head>"
        L"<body>" + body + L"</body></html>";
    const Bytes utf8 = Encode(CP_UTF8, utf8Text);
    const Bytes bareUtf8 = Encode(CP_UTF8, body);
    const Bytes cyrillic = Encode(1251, cyrillicText);
    const Bytes japanese = Encode(932, japaneseText);
    const Bytes html = Encode(1251, htmlText);
    ASSERT_NE(cyrillic.size(), utf8.size() - 5);
    const auto readAndConverted = [](const wchar_t* encoding, std::size_t bytes, std::size_t units) {
        return L"<read encoding=\"" + std::wstring(encoding) + L"\" length=\"" + Number(bytes) +
               L"\"/><converted_to encoding=\"UTF-16\" length=\"" + Number(units) + L"\"/>";
    };

    const std::vector<Fixture> fixtures = {
        {L"utf8.xml", utf8, readAndConverted(L"utf-8", utf8.size(), utf8Text.size())},
        {L"utf8-mark.xml", "\xEF\xBB\xBF" + bareUtf8,
         L"<bom/>" + readAndConverted(L"UTF-8", bareUtf8.size(), body.size())},
        {L"utf16le.xml", Utf16(body, false),
         L"<bom/><read encoding=\"UTF-16LE\" length=\"" + Number(body.size()) + L"\"/>"},
        {L"utf16be.xml", Utf16(body, true),
         L"<bom/><endian_swap/><read encoding=\"UTF-16BE\" length=\"" + Number(body.size()) + L"\"/>"},
        {L"cp1251.xml", cyrillic, readAndConverted(L"windows-1251", cyrillic.size(), cyrillicText.size())},
        {L"shift_jis.xml", japanese, readAndConverted(L"Shift_JIS", japanese.size(), japaneseText.size())},
        {L"meta.html", html, readAndConverted(L"windows-1251", html.size(), htmlText.size())},
        // No mark, no declaration, not starting with '<': the UTF-8 test decides.
        {L"undeclared-utf8.xml", "\r\n" + bareUtf8,
         L"<read encoding=\"UTF-8\" length=\"" + Number(bareUtf8.size() + 2) +
             L"\"/><utf8_detection/><converted_to encoding=\"UTF-16\" length=\"" + Number(body.size() + 2) + L"\"/>"},
    };

    const test::TempFolder folder(L"kelm_xml");
    std::wstring bodyText;
    for (const Fixture& fixture : fixtures) {
        SCOPED_TRACE(testing::Message() << "fixture " << fixture.name);
        CXmlDocument document;
        EXPECT_TRUE(document.LoadFile(WriteInto(folder, fixture.name, fixture.bytes)));
        EXPECT_EQ(document.GetResultReport(), fixture.report);
        EXPECT_EQ(ReadTitle(document), kTitle);
        const std::wstring& text = document.GetText();
        const std::wstring tail = text.substr(text.size() >= body.size() ? text.size() - body.size() : 0);
        if (fixture.name != std::wstring(L"meta.html")) {
            EXPECT_EQ(tail, body);
        }
    }
}

TEST(LoadFile, UndeclaredNonUtf8BytesUseTheAnsiCodePage)
{
    // Windows-1251 bytes of Cyrillic text fail the UTF-8 test.
    const Bytes bytes = "\r\n" + Encode(1251, kBody);
    const int units = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring expected(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), expected.data(), units);

    const test::TempFolder folder(L"kelm_xml");
    CXmlDocument document;
    EXPECT_TRUE(document.LoadFile(WriteInto(folder, L"ansi.xml", bytes)));
    EXPECT_EQ(document.GetText(), expected);
    EXPECT_EQ(document.GetResultReport(), L"<read encoding=\"\" length=\"" + Number(bytes.size()) +
                                              L"\"/><utf8_detection/><converted_to encoding=\"UTF-16\" length=\"" +
                                              Number(expected.size()) + L"\"/>");
}

TEST(LoadFile, UndeclaredFileStartingWithAnAngleBracketIsUtf8)
{
    const test::TempFolder folder(L"kelm_xml");
    CXmlDocument document;
    const Bytes bytes = Encode(CP_UTF8, kBody);
    EXPECT_TRUE(document.LoadFile(WriteInto(folder, L"plain.xml", bytes)));
    EXPECT_EQ(ReadTitle(document), kTitle);
    EXPECT_EQ(document.GetResultReport().substr(0, 23), L"<read encoding=\"UTF-8\" ");
}

TEST(LoadFile, EncodingNamedButNotConvertibleFallsBackToTheAnsiCodePage)
{
    const test::TempFolder folder(L"kelm_xml");
    CXmlDocument document;
    EXPECT_TRUE(document.LoadFile(WriteInto(folder, L"utf16-declared.xml", "<?xml version=\"1.0\" encoding=\"utf-16\"?><a>x</a>")));
    ASSERT_TRUE(document.FindElement(L"a"));
    EXPECT_EQ(document.GetElementText(), L"x");
}

TEST(LoadFile, ReadsFilesLongerThanTheDetectionBytesWhole)
{
    std::wstring text = L"<list>";
    for (int i = 0; i < 3000; ++i)
        text += L"<i>\u0416" + std::to_wstring(i) + L"</i>";
    text += L"</list>";
    const test::TempFolder folder(L"kelm_xml");
    for (const Bytes& bytes : {Utf16(text, true), Encode(CP_UTF8, text), "\xEF\xBB\xBF" + Encode(CP_UTF8, text)}) {
        CXmlDocument document;
        EXPECT_TRUE(document.LoadFile(WriteInto(folder, L"long.xml", bytes)));
        EXPECT_EQ(document.GetText(), text);
        EXPECT_EQ(document.GetElementCount(), 3002);
    }
}

// Small files with their whole load report: zero units are dropped before
// decoding and counted, an empty file is read but holds no document.
TEST(LoadFile, ReportsOfSmallFiles)
{
    Bytes ascii = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<config><name>Sample</name><note>";
    ascii += Bytes(120 - ascii.size() - 16, 'x') + "</note></config>";
    ASSERT_EQ(ascii.size(), 120u);
    struct Case {
        const wchar_t* name;
        Bytes bytes;
        bool loads;
        std::wstring report;
        int elementCount;        // the document's own record included
        const wchar_t* textOfA;  // the text of element "a"; null when it has none
    };
    const Case cases[] = {
        {L"empty.xml", "", false, L"<read encoding=\"\" length=\"0\"/>", 1, nullptr},
        {L"ascii.xml", ascii, true,
         L"<read encoding=\"utf-8\" length=\"120\"/><converted_to encoding=\"UTF-16\" length=\"120\"/>", 4, nullptr},
        {L"nulls.xml", Bytes("<a>x\0y</a>", 10), true,
         L"<nulls_removed count=\"1\"/><read encoding=\"UTF-8\" length=\"10\"/>"
         L"<converted_to encoding=\"UTF-16\" length=\"9\"/>",
         2, L"xy"},
        {L"nulls16.xml", Utf16(std::wstring(L"<a>x\0y</a>", 10), false), true,
         L"<bom/><nulls_removed count=\"1\"/><read encoding=\"UTF-16LE\" length=\"10\"/>", 2, L"xy"},
    };
    const test::TempFolder folder(L"kelm_xml");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "file " << c.name);
        CXmlDocument document;
        EXPECT_EQ(document.LoadFile(WriteInto(folder, c.name, c.bytes)), c.loads);
        EXPECT_EQ(document.GetResultReport(), c.report);
        EXPECT_EQ(document.GetElementCount(), c.elementCount);
        if (c.textOfA) {
            ASSERT_TRUE(document.FindElement(L"a"));
            EXPECT_EQ(document.GetElementText(), c.textOfA);
        }
    }
}

TEST(LoadFile, FileThatCannotBeOpened)
{
    const test::TempFolder folder(L"kelm_xml");
    CXmlDocument document;
    ASSERT_TRUE(document.SetText(L"<a/>"));
    EXPECT_FALSE(document.LoadFile(folder.File(L"missing.xml")));
    EXPECT_EQ(document.GetElementCount(), 1);
    EXPECT_EQ(document.GetText(), L"");
    EXPECT_FALSE(document.FindElement(nullptr));

    wchar_t message[100] = {};
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILE_NOT_FOUND, 0,
                     message, 100, nullptr);
    std::wstring firstLine = message;
    firstLine = firstLine.substr(0, firstLine.find_first_of(L"\r\n"));
    EXPECT_FALSE(firstLine.empty());
    EXPECT_EQ(document.GetResultReport(), L"<file_error msg=\"" + firstLine + L"\" n=\"2\"/>");
}

TEST(CharsetToCodePage, LooksUpNamesIgnoringAsciiCase)
{
    struct Case {
        std::wstring name;
        int codePage;
    };
    const Case cases[] = {
        {L"", 0},
        {L"utf-8", 65001},
        {L"UTF-8", 65001},
        {L"Shift_JIS", 932},
        {L"shifft_jis-ms", 932},
        {L"windows-1251", 1251},
        {L"ISO-8859-1", 28591},
        {L"iso_646.irv:1991", 20127},
        {L"cp1256 ", 1256},
        {L"_iso-2022-jp$sio", 50222},
        {L"extended_unix_code_packed_format_for_japanese", 20932},
        {L"pc-multilingual-850+euro", 858},
        {L"x-mac-croatian", 10082},
        {L"x_chinese-eten", 20002},
        {L"cp500", 775},
        {L"UTF-16", 1200},
        {L"ks_c_5601-1987", 949},
        {L"utf-8 ", -1},
        {L"no-such-charset", -1},
        {std::wstring(99, L'x'), -1},
        {L"utf-8" + std::wstring(95, L' '), -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CharsetToCodePage(c.name), c.codePage) << '"' << std::string(c.name.begin(), c.name.end()) << '"';
    EXPECT_EQ(CharsetToCodePage(static_cast<const wchar_t*>(nullptr)), 0);
}

}  // namespace
}  // namespace kelm
