#include "xml/xml_scanner.h"

#include <cwchar>
#include <string>

namespace kelm::xml_detail {
namespace {

bool IsNameStartCharacter(wchar_t c)
{
    // Everything from '{' upward counts, non-ASCII included.
    return c == L':' || (c >= L'A' && c <= L'Z') || c == L'_' || (c >= L'a' && c <= L'z') || c >= L'{';
}

bool IsQuote(wchar_t c)
{
    return c == L'"' || c == L'\'';
}

}  // namespace

bool EqualsIgnoringAsciiCase(std::wstring_view text, std::wstring_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (FoldAscii(text[i]) != lower[i])
            return false;
    }
    return true;
}

int32_t XmlScanner::Find(wchar_t c, int32_t from) const
{
    if (from >= m_length)
        return m_length;
    const wchar_t* found = std::wmemchr(m_text + from, c, static_cast<std::size_t>(m_length - from));
    return found ? static_cast<int32_t>(found - m_text) : m_length;
}

// The '>' of a terminator: the first '>' preceded by `rest`, with all of
// `rest` at or behind `from`; m_length when there is none.
int32_t XmlScanner::FindTerminator(int32_t from, std::wstring_view rest) const
{
    const int32_t restLength = static_cast<int32_t>(rest.size());
    int32_t close = Find(L'>', from + restLength);
    while (close < m_length && std::wstring_view(m_text + close - restLength, rest.size()) != rest)
        close = Find(L'>', close + 1);
    return close;
}

// The tag name from `from` to the first whitespace, '/' or '>'; returns its end.
int32_t XmlScanner::ScanTagName(XmlNode& node, int32_t from) const
{
    int32_t i = from;
    while (i < m_length && !IsXmlWhitespace(m_text[i]) && m_text[i] != L'/' && m_text[i] != L'>')
        ++i;
    node.nameStart = from;
    node.nameEnd = i;
    return i;
}

// The node ends with the '>' at `close`.
XmlNode XmlScanner::Complete(XmlNode node, int kind, int32_t close)
{
    node.kind = kind;
    node.length = close + 1 - node.start;
    return node;
}

XmlNode XmlScanner::Next(int32_t offset) const
{
    XmlNode node;
    node.start = offset;
    if (offset >= m_length) {
        node.kind = XmlEndOfText;
        return node;
    }

    const wchar_t* text = m_text;
    if (text[offset] != L'<') {
        const int32_t end = Find(L'<', offset);
        node.kind = XmlWhitespace;
        for (int32_t i = offset; i < end; ++i) {
            if (!IsXmlWhitespace(text[i])) {
                node.kind = XmlText;
                break;
            }
        }
        node.length = end - offset;
        return node;
    }

    if (offset + 1 >= m_length)
        return Unterminated(node, L"tag");
    const wchar_t next = text[offset + 1];
    if (IsNameStartCharacter(next))
        return ScanStartTag(node);
    switch (next) {
    case L'/':
        return ScanEndTag(node);
    case L'?':
        return ScanTerminated(node, offset + 2, L"?", XmlProcessingInstruction, L"processing_instruction");
    case L'!':
        break;
    default:
        return Fault(node, L"first_tag_syntax", offset + 1);
    }

    if (offset + 2 >= m_length)
        return Unterminated(node, L"tag");
    switch (text[offset + 2]) {
    case L'-':
        return ScanOpenedSection(node, L'-', L"comment_tag_syntax", L"--", XmlComment, L"comment");
    case L'[':
        return ScanOpenedSection(node, L'C', L"cdata_section_syntax", L"]]", XmlCData, L"cdata_section");
    case L'D':
        return ScanDocumentType(node);
    default:
        return Fault(node, L"exclamation_tag_syntax", offset + 2);
    }
}

XmlNode XmlScanner::ScanStartTag(XmlNode node) const
{
    const wchar_t* text = m_text;
    int32_t i = ScanTagName(node, node.start + 1);

    // A quote opens a value only right after '=' (whitespace between allowed);
    // any other first character after '=' starts an unquoted value.
    enum class State { Plain, AfterEquals, Quoted, Unquoted } state = State::Plain;
    wchar_t quote = 0;
    for (; i < m_length; ++i) {
        const wchar_t c = text[i];
        switch (state) {
        case State::Plain:
            if (c == L'>') {
                // "/>" closes an empty element when the '/' follows the name,
                // whitespace or a quote; a '/' inside an unquoted value does not.
                const int32_t slash = i - 1;
                node.emptyElement = slash >= node.nameEnd && text[slash] == L'/' &&
                                    (slash == node.nameEnd || IsXmlWhitespace(text[slash - 1]) ||
                                     IsQuote(text[slash - 1]));
                return Complete(node, XmlStartTag, i);
            }
            if (c == L'=')
                state = State::AfterEquals;
            break;
        case State::AfterEquals:
            if (c == L'>')
                return Complete(node, XmlStartTag, i);
            if (IsQuote(c)) {
                quote = c;
                state = State::Quoted;
            } else if (!IsXmlWhitespace(c)) {
                state = State::Unquoted;
            }
            break;
        case State::Quoted:
            if (c == quote)
                state = State::Plain;
            break;
        case State::Unquoted:
            if (c == L'>')
                return Complete(node, XmlStartTag, i);
            if (IsXmlWhitespace(c))
                state = State::Plain;
            break;
        }
    }
    return Unterminated(node, L"start_tag");
}

XmlNode XmlScanner::ScanEndTag(XmlNode node) const
{
    const int32_t close = FindTerminator(ScanTagName(node, node.start + 2), L"");
    if (close >= m_length)
        return Unterminated(node, L"end_tag");
    return Complete(node, XmlEndTag, close);
}

// Nodes ended by "?>", "-->" or "]]>".
XmlNode XmlScanner::ScanTerminated(XmlNode node, int32_t from, std::wstring_view rest, int kind,
                                   const wchar_t* unterminatedType) const
{
    const int32_t close = FindTerminator(from, rest);
    if (close >= m_length)
        return Unterminated(node, unterminatedType);
    return Complete(node, kind, close);
}

// Comments ("<!--") and CDATA sections ("<![C"): the fourth character of the
// opening decides before the node runs to its terminator.
XmlNode XmlScanner::ScanOpenedSection(XmlNode node, wchar_t fourth, const wchar_t* faultEntry,
                                      std::wstring_view rest, int kind, const wchar_t* unterminatedType) const
{
    const int32_t at = node.start + 3;
    if (at >= m_length)
        return Unterminated(node, L"tag");
    if (m_text[at] != fourth)
        return Fault(node, faultEntry, at);
    return ScanTerminated(node, at + 1, rest, kind, unterminatedType);
}

// A document type ends at the first '>' outside its internal declarations
// ("<!ELEMENT", "<!ATTLIST", "<!NOTATION", "<!ENTITY" with quoted values) and comments.
XmlNode XmlScanner::ScanDocumentType(XmlNode node) const
{
    const wchar_t* text = m_text;
    int32_t i = node.start + 3;
    while (i < m_length) {
        const wchar_t c = text[i];
        if (c == L'>')
            return Complete(node, XmlDocumentType, i);
        if (c != L'<') {
            ++i;
            continue;
        }
        if (i + 1 >= m_length)
            break;
        if (text[i + 1] != L'!') {
            ++i;
            continue;
        }
        if (i + 2 >= m_length)
            break;
        const wchar_t kind = text[i + 2];
        if (kind == L'E' || kind == L'A' || kind == L'N') {
            wchar_t quote = 0;
            i += 3;
            while (i < m_length && !(quote == 0 && text[i] == L'>')) {
                if (quote != 0) {
                    if (text[i] == quote)
                        quote = 0;
                } else if (IsQuote(text[i])) {
                    quote = text[i];
                }
                ++i;
            }
            if (i >= m_length)
                break;
            ++i;
            continue;
        }
        if (kind == L'-') {
            if (i + 3 >= m_length)
                break;
            if (text[i + 3] == L'-') {
                const int32_t close = FindTerminator(i + 4, L"--");
                if (close >= m_length)
                    break;
                i = close + 1;
                continue;
            }
        }
        return Fault(node, L"doctype_tag_syntax", i + 2);
    }
    return Unterminated(node, L"document_type");
}

// Fault mode: the node ends at the next '>' (inclusive) or before the next '<'.
XmlNode XmlScanner::Fault(XmlNode node, const wchar_t* entry, int32_t from) const
{
    if (m_report && m_report->ReportOpen()) {
        const std::wstring offset = std::to_wstring(node.start);
        m_report->AddReportEntry(entry, {{L"offset", offset}});
    }
    int32_t end = from;
    while (end < m_length && m_text[end] != L'>' && m_text[end] != L'<')
        ++end;
    if (end < m_length && m_text[end] == L'>')
        ++end;
    node.kind = XmlFault;
    node.length = end - node.start;
    return node;
}

XmlNode XmlScanner::Unterminated(XmlNode node, const wchar_t* type) const
{
    if (m_report && m_report->ReportOpen()) {
        const std::wstring offset = std::to_wstring(node.start);
        m_report->AddReportEntry(L"unterminated_tag_syntax", {{L"type", type}, {L"offset", offset}});
    }
    node.kind = XmlFault;
    node.length = m_length - node.start;
    return node;
}

bool XmlAttributeReader::Next(XmlAttribute& attribute)
{
    const wchar_t* text = m_text;
    int32_t i = m_position;
    while (i < m_end) {
        while (i < m_end && IsXmlWhitespace(text[i]))
            ++i;
        if (i >= m_end)
            break;
        attribute.nameStart = i;
        while (i < m_end && !IsXmlWhitespace(text[i]) && text[i] != L'=')
            ++i;
        attribute.nameEnd = i;
        while (i < m_end && IsXmlWhitespace(text[i]))
            ++i;
        attribute.valueStart = attribute.valueEnd = i;
        if (i < m_end && text[i] == L'=') {
            ++i;
            while (i < m_end && IsXmlWhitespace(text[i]))
                ++i;
            if (i < m_end && IsQuote(text[i])) {
                const wchar_t quote = text[i++];
                attribute.valueStart = i;
                while (i < m_end && text[i] != quote)
                    ++i;
                attribute.valueEnd = i;
                if (i < m_end)
                    ++i;
            } else {
                attribute.valueStart = i;
                while (i < m_end && !IsXmlWhitespace(text[i]) && text[i] != L'>')
                    ++i;
                attribute.valueEnd = i;
            }
        }
        if (attribute.nameEnd == attribute.nameStart && attribute.valueEnd == attribute.valueStart)
            continue;  // a stray '=' (already stepped over)
        m_position = i;
        return true;
    }
    m_position = m_end;
    return false;
}

}  // namespace kelm::xml_detail
