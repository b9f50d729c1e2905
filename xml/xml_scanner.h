#pragma once
// The node scanner of the XML reader: from an offset it returns the next node
// (text, whitespace, tag, comment, ...). It never looks past the length it is
// given, so it also scans the content of a single element.

#include "xml/xml_document.h"

#include <cstdint>

namespace kelm::xml_detail {

struct XmlNode {
    int kind = XmlEndOfText;
    int32_t start = 0;
    int32_t length = 0;
    bool emptyElement = false;  // start tag closed by "/>"
    int32_t nameStart = 0;      // start and end tags: the tag name
    int32_t nameEnd = 0;

    int32_t End() const { return start + length; }
};

constexpr bool IsXmlWhitespace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

constexpr wchar_t FoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

// Equal regardless of ASCII case; `lower` is already in small letters.
bool EqualsIgnoringAsciiCase(std::wstring_view text, std::wstring_view lower);

class XmlScanner {
public:
    // Faults are written to `report` when it is not null.
    XmlScanner(const wchar_t* text, int32_t length, CXmlDocument* report) noexcept
        : m_text(text), m_length(length), m_report(report)
    {
    }

    XmlNode Next(int32_t offset) const;

private:
    XmlNode ScanStartTag(XmlNode node) const;
    XmlNode ScanEndTag(XmlNode node) const;
    XmlNode ScanTerminated(XmlNode node, int32_t from, std::wstring_view rest, int kind,
                           const wchar_t* unterminatedType) const;
    XmlNode ScanOpenedSection(XmlNode node, wchar_t fourth, const wchar_t* faultEntry, std::wstring_view rest,
                              int kind, const wchar_t* unterminatedType) const;
    XmlNode ScanDocumentType(XmlNode node) const;
    XmlNode Fault(XmlNode node, const wchar_t* entry, int32_t from) const;
    XmlNode Unterminated(XmlNode node, const wchar_t* type) const;
    int32_t Find(wchar_t c, int32_t from) const;
    int32_t FindTerminator(int32_t from, std::wstring_view rest) const;
    int32_t ScanTagName(XmlNode& node, int32_t from) const;
    static XmlNode Complete(XmlNode node, int kind, int32_t close);

    const wchar_t* m_text;
    int32_t m_length;
    CXmlDocument* m_report;
};

// Attributes of a tag between `from` and `to` (behind the name, before the
// closing characters): name and value offsets, value without its quotes.
struct XmlAttribute {
    int32_t nameStart = 0;
    int32_t nameEnd = 0;
    int32_t valueStart = 0;
    int32_t valueEnd = 0;
};

class XmlAttributeReader {
public:
    XmlAttributeReader(const wchar_t* text, int32_t from, int32_t to) noexcept
        : m_text(text), m_position(from), m_end(to)
    {
    }
    bool Next(XmlAttribute& attribute);

private:
    const wchar_t* m_text;
    int32_t m_position;
    int32_t m_end;
};

}  // namespace kelm::xml_detail
