#include "xml/xml_document.h"

#include "xml/code_page.h"
#include "xml/xml_references.h"
#include "xml/xml_scanner.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>

namespace kelm {

using xml_detail::EqualsIgnoringAsciiCase;
using xml_detail::IsXmlWhitespace;
using xml_detail::XmlAttribute;
using xml_detail::XmlAttributeReader;
using xml_detail::XmlNode;
using xml_detail::XmlScanner;

namespace {

constexpr int32_t kBlockShift = 16;
constexpr int32_t kBlockRecords = 1 << kBlockShift;
constexpr std::size_t kReportLimit = 999;
constexpr std::size_t kDetectionBytes = 1024;
// Offsets are signed 32-bit numbers.
constexpr std::size_t kMaxTextLength = 0x7FFFFFF0;
constexpr std::wstring_view kUtf8 = L"UTF-8";

void AppendEscaped(std::wstring& out, std::wstring_view value)
{
    for (wchar_t c : value) {
        switch (c) {
        case L'<': out += L"&lt;"; break;
        case L'&': out += L"&amp;"; break;
        case L'>': out += L"&gt;"; break;
        case L'\'': out += L"&apos;"; break;
        case L'"': out += L"&quot;"; break;
        default: out.push_back(c); break;
        }
    }
}

// The characters that end an element name for the cursor's searches.
bool EndsSearchName(wchar_t c)
{
    switch (c) {
    case L'<': case L'>': case L'=': case L'\\': case L'/': case L'?': case L'!': case L'\'': case L';': case L'"':
        return true;
    default:
        return IsXmlWhitespace(c);
    }
}

// The test for undeclared files: walking lead bytes and their following bytes.
bool LooksLikeUtf8(const unsigned char* bytes, std::size_t size)
{
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i++];
        if (lead == 0)
            return true;
        if (lead < 0x80)
            continue;
        std::size_t following;
        if (!(lead & 0x20))
            following = 1;
        else if (!(lead & 0x10))
            following = 2;
        else if (!(lead & 0x08))
            following = 3;
        else
            return false;
        for (; following > 0; --following) {
            if (i >= size || !(bytes[i] & 0x80))
                return false;
            ++i;
        }
    }
    return true;
}

std::wstring ConvertBytes(unsigned codePage, const char* bytes, std::size_t size)
{
    std::wstring text;
    if (size == 0 || size > kMaxTextLength)
        return text;
    const int byteCount = static_cast<int>(size);
    const int units = xml_detail::MultiByteToUtf16(codePage, bytes, byteCount, nullptr, 0);
    if (units <= 0)
        return text;
    text.resize(static_cast<std::size_t>(units));
    const int written = xml_detail::MultiByteToUtf16(codePage, bytes, byteCount, text.data(), units);
    text.resize(static_cast<std::size_t>(std::max(written, 0)));
    return text;
}

// The encoding an XML declaration or an HTML meta element names in the first
// bytes of a file (already decoded as UTF-8); empty when none is named.
std::wstring DeclaredEncoding(const std::wstring& head)
{
    const wchar_t* text = head.data();
    const XmlScanner scanner(text, static_cast<int32_t>(head.size()), nullptr);
    auto name = [text](int32_t from, int32_t to) { return std::wstring_view(text + from, static_cast<std::size_t>(to - from)); };
    bool inHtml = false;
    for (int32_t offset = 0;;) {
        const XmlNode node = scanner.Next(offset);
        switch (node.kind) {
        case XmlEndOfText:
        case XmlFault:
            return {};
        case XmlProcessingInstruction:
            if (node.start == 0) {
                int32_t targetEnd = node.start + 2;
                while (targetEnd < node.End() - 2 && !IsXmlWhitespace(text[targetEnd]) && text[targetEnd] != L'?')
                    ++targetEnd;
                if (EqualsIgnoringAsciiCase(name(node.start + 2, targetEnd), L"xml")) {
                    XmlAttributeReader attributes(text, targetEnd, node.End() - 2);
                    XmlAttribute attribute;
                    while (attributes.Next(attribute)) {
                        if (EqualsIgnoringAsciiCase(name(attribute.nameStart, attribute.nameEnd), L"encoding"))
                            return std::wstring(name(attribute.valueStart, attribute.valueEnd));
                    }
                    return {};
                }
            }
            break;
        case XmlStartTag: {
            const std::wstring_view tagName = name(node.nameStart, node.nameEnd);
            if (!inHtml) {
                if (!EqualsIgnoringAsciiCase(tagName, L"html"))
                    return {};
                inHtml = true;
                break;
            }
            if (!EqualsIgnoringAsciiCase(tagName, L"meta"))
                break;
            const int32_t attributesEnd = node.End() - 1;
            XmlAttributeReader attributes(text, node.nameEnd, attributesEnd);
            XmlAttribute attribute;
            bool contentType = false;
            bool hasContent = false;
            XmlAttribute content;
            while (attributes.Next(attribute)) {
                const std::wstring_view attributeName = name(attribute.nameStart, attribute.nameEnd);
                if (EqualsIgnoringAsciiCase(attributeName, L"http-equiv"))
                    contentType = EqualsIgnoringAsciiCase(name(attribute.valueStart, attribute.valueEnd), L"content-type");
                else if (!hasContent && EqualsIgnoringAsciiCase(attributeName, L"content")) {
                    hasContent = true;
                    content = attribute;
                }
            }
            if (!contentType)
                break;
            if (!hasContent)
                return {};
            // Tokens of the content value; separators other than whitespace are
            // tokens of their own: "text/html; charset=windows-1251".
            std::wstring_view tokens[3];
            for (int32_t i = content.valueStart; i < content.valueEnd;) {
                if (IsXmlWhitespace(text[i])) {
                    ++i;
                    continue;
                }
                int32_t end = i + 1;
                if (!EndsSearchName(text[i])) {
                    while (end < content.valueEnd && !EndsSearchName(text[end]))
                        ++end;
                }
                tokens[0] = tokens[1];
                tokens[1] = tokens[2];
                tokens[2] = name(i, end);
                if (EqualsIgnoringAsciiCase(tokens[0], L"charset") && tokens[1] == L"=")
                    return std::wstring(tokens[2]);
                i = end;
            }
            return {};
        }
        case XmlEndTag:
            if (inHtml && EqualsIgnoringAsciiCase(name(node.nameStart, node.nameEnd), L"head"))
                return {};
            break;
        default:
            break;
        }
        offset = node.End();
    }
}

}  // namespace

// An element still waiting for its end tag, with its name's offsets and a
// chain to the next open element whose name falls into the same hash bucket.
struct CXmlDocument::OpenElement {
    int32_t record;
    int32_t nameStart;
    int32_t nameLength;
    uint32_t nameHash;
    int32_t previousInBucket;
};

// Builds the element index from the scanner's nodes in one pass.
class CXmlDocument::IndexBuilder {
public:
    explicit IndexBuilder(CXmlDocument& document) : m_document(document), m_text(document.m_text.data())
    {
        // Enough buckets that a deep stack of distinct names stays cheap to
        // search, few for a small document.
        std::size_t buckets = kMinHashBuckets;
        while (buckets < kMaxHashBuckets && buckets * 8 < document.m_text.size())
            buckets *= 2;
        m_bucketMask = static_cast<uint32_t>(buckets - 1);
        m_bucketHeads.assign(buckets, -1);
    }

    bool Build()
    {
        const int32_t length = static_cast<int32_t>(m_document.m_text.size());
        const XmlScanner scanner(m_text, length, &m_document);
        for (int32_t offset = 0;;) {
            const XmlNode node = scanner.Next(offset);
            if (node.kind == XmlEndOfText)
                break;
            switch (node.kind) {
            case XmlStartTag: StartTag(node); break;
            case XmlEndTag: EndTag(node); break;
            case XmlFault: m_illFormed = true; break;
            default: break;
            }
            offset = node.End();
        }
        CloseUnended(0, length);
        return !m_illFormed;
    }

private:
    static constexpr std::size_t kMinHashBuckets = 64;
    static constexpr std::size_t kMaxHashBuckets = 1 << 16;

    static uint32_t HashName(const wchar_t* name, int32_t length)
    {
        uint32_t hash = 2166136261u;
        for (int32_t i = 0; i < length; ++i) {
            hash ^= static_cast<uint32_t>(name[i]);
            hash *= 16777619u;
        }
        return hash;
    }

    void StartTag(const XmlNode& node)
    {
        const int32_t index = m_document.AppendRecord();
        const int32_t parent = m_open.empty() ? 0 : m_open.back().record;
        ElementRecord& record = m_document.Record(index);
        record.start = node.start;
        record.length = node.length;
        record.parent = parent;
        record.levelFlags = static_cast<int32_t>(std::min<std::size_t>(m_open.size(), kElementLevelMask));
        m_document.SetTagLengths(index, node.length, 0);

        ElementRecord& parentRecord = m_document.Record(parent);
        if (parentRecord.firstChild == 0) {
            parentRecord.firstChild = index;
            record.prevSibling = index;
        } else {
            ElementRecord& first = m_document.Record(parentRecord.firstChild);
            const int32_t last = first.prevSibling;
            m_document.Record(last).nextSibling = index;
            record.prevSibling = last;
            first.prevSibling = index;
        }

        if (node.emptyElement)
            return;
        const int32_t nameLength = node.nameEnd - node.nameStart;
        const uint32_t hash = HashName(m_text + node.nameStart, nameLength);
        int32_t& head = m_bucketHeads[hash & m_bucketMask];
        m_open.push_back({index, node.nameStart, nameLength, hash, head});
        head = static_cast<int32_t>(m_open.size() - 1);
    }

    void EndTag(const XmlNode& node)
    {
        const int32_t nameLength = node.nameEnd - node.nameStart;
        const wchar_t* name = m_text + node.nameStart;
        // Usually the innermost open element is the one closed.
        if (!m_open.empty()) {
            const OpenElement& innermost = m_open.back();
            if (innermost.nameLength == nameLength &&
                std::wmemcmp(m_text + innermost.nameStart, name, static_cast<std::size_t>(nameLength)) == 0) {
                CloseMatched(static_cast<int32_t>(m_open.size()) - 1, node);
                return;
            }
        }
        const uint32_t hash = HashName(name, nameLength);
        int32_t match = m_bucketHeads[hash & m_bucketMask];
        while (match >= 0) {
            const OpenElement& open = m_open[static_cast<std::size_t>(match)];
            if (open.nameHash == hash && open.nameLength == nameLength &&
                std::wmemcmp(m_text + open.nameStart, name, static_cast<std::size_t>(nameLength)) == 0)
                break;
            match = open.previousInBucket;
        }
        if (match < 0) {
            m_illFormed = true;
            if (m_document.ReportOpen()) {
                const std::wstring offset = std::to_wstring(node.start);
                m_document.AddReportEntry(L"lone_end_tag",
                                          {{L"tagname", std::wstring_view(name, static_cast<std::size_t>(nameLength))},
                                           {L"offset", offset}});
            }
            return;
        }
        CloseMatched(match, node);
    }

    // The open element at stack position `match` ends with this end tag; the
    // elements opened inside it and still open become unended.
    void CloseMatched(int32_t match, const XmlNode& node)
    {
        CloseUnended(match + 1, node.start + 1);
        const int32_t index = m_open[static_cast<std::size_t>(match)].record;
        ElementRecord& record = m_document.Record(index);
        record.length = node.End() - record.start;
        m_document.SetTagLengths(index, m_document.StartTagLength(index), node.length);
        PopTo(match);
    }

    // Closes the open elements from stack position `first` inward as unended:
    // each keeps only its start tag, and its children become its following
    // siblings. `offset2` is where the closing happened (the '/' of an end tag
    // or the end of the text).
    void CloseUnended(int32_t first, int32_t offset2)
    {
        const int32_t top = static_cast<int32_t>(m_open.size()) - 1;
        if (first > top)
            return;
        m_illFormed = true;
        for (int32_t i = top; i >= first; --i) {
            const int32_t index = m_open[static_cast<std::size_t>(i)].record;
            ElementRecord& record = m_document.Record(index);
            const int32_t startTagLength = m_document.StartTagLength(index);
            record.length = startTagLength;
            record.levelFlags |= kElementUnended;
            m_document.SetTagLengths(index, startTagLength, 0);
            if (m_document.ReportOpen()) {
                const OpenElement& open = m_open[static_cast<std::size_t>(i)];
                const std::wstring offset = std::to_wstring(record.start);
                const std::wstring offsetTwo = std::to_wstring(offset2);
                m_document.AddReportEntry(
                    L"unended_start_tag",
                    {{L"tagname", std::wstring_view(m_text + open.nameStart, static_cast<std::size_t>(open.nameLength))},
                     {L"offset", offset},
                     {L"offset2", offsetTwo}});
            }
        }
        // Outermost first: each open element is the last child of its parent,
        // so its children are spliced in right behind it. Every child moves at
        // most once, because its new parent is closed for good.
        for (int32_t i = first; i <= top; ++i) {
            const int32_t index = m_open[static_cast<std::size_t>(i)].record;
            ElementRecord& record = m_document.Record(index);
            const int32_t firstChild = record.firstChild;
            if (firstChild == 0)
                continue;
            const int32_t parent = record.parent;
            const int32_t lastChild = m_document.Record(firstChild).prevSibling;
            for (int32_t child = firstChild; child != 0; child = m_document.Record(child).nextSibling)
                m_document.Record(child).parent = parent;
            record.firstChild = 0;
            record.nextSibling = firstChild;
            m_document.Record(firstChild).prevSibling = index;
            m_document.Record(m_document.Record(parent).firstChild).prevSibling = lastChild;
        }
        PopTo(first);
    }

    void PopTo(int32_t position)
    {
        while (static_cast<int32_t>(m_open.size()) > position) {
            const OpenElement& open = m_open.back();
            m_bucketHeads[open.nameHash & m_bucketMask] = open.previousInBucket;
            m_open.pop_back();
        }
    }

    CXmlDocument& m_document;
    const wchar_t* m_text;
    std::vector<OpenElement> m_open;
    std::vector<int32_t> m_bucketHeads;
    uint32_t m_bucketMask = 0;
    bool m_illFormed = false;
};

CXmlDocument::CXmlDocument()
{
    Clear();
}

CXmlDocument::~CXmlDocument() = default;

void CXmlDocument::Clear()
{
    m_text.clear();
    m_report.clear();
    m_oversizeTags.clear();
    ReserveRecords(8);
    m_elementCount = 1;
    Record(0) = ElementRecord{};
    ResetCursor();
}

void CXmlDocument::ResetCursor()
{
    m_parentPos = 0;
    m_currentPos = 0;
    m_childPos = 0;
    m_nodeKind = 0;
}

ElementRecord& CXmlDocument::Record(int32_t index)
{
    return m_blocks[static_cast<std::size_t>(index >> kBlockShift)][static_cast<std::size_t>(index & (kBlockRecords - 1))];
}

const ElementRecord& CXmlDocument::Record(int32_t index) const
{
    return m_blocks[static_cast<std::size_t>(index >> kBlockShift)][static_cast<std::size_t>(index & (kBlockRecords - 1))];
}

const ElementRecord& CXmlDocument::GetElement(int32_t index) const
{
    static const ElementRecord none{};
    return (index >= 0 && index < m_elementCount) ? Record(index) : none;
}

// Blocks are filled in turn; only the last one may be partly allocated.
void CXmlDocument::ReserveRecords(int64_t capacity)
{
    capacity = std::min<int64_t>(capacity, INT32_MAX);
    while (m_capacity < capacity) {
        if (!m_blocks.empty() && m_blocks.back().size() < static_cast<std::size_t>(kBlockRecords)) {
            std::vector<ElementRecord>& last = m_blocks.back();
            const int64_t wanted = std::min<int64_t>(kBlockRecords, static_cast<int64_t>(last.size()) + (capacity - m_capacity));
            m_capacity += wanted - static_cast<int64_t>(last.size());
            last.resize(static_cast<std::size_t>(wanted));
            continue;
        }
        const int64_t wanted = std::min<int64_t>(kBlockRecords, capacity - m_capacity);
        m_blocks.emplace_back(static_cast<std::size_t>(wanted));
        m_capacity += wanted;
    }
}

int32_t CXmlDocument::AppendRecord()
{
    if (m_elementCount >= m_capacity)
        ReserveRecords(m_capacity + m_capacity / 2);
    const int32_t index = m_elementCount++;
    Record(index) = ElementRecord{};
    return index;
}

void CXmlDocument::SetTagLengths(int32_t index, int32_t startTagLength, int32_t endTagLength)
{
    const bool oversize = startTagLength > kStartTagLengthMask || endTagLength > kEndTagLengthMax;
    const int32_t packedStart = std::min(startTagLength, kStartTagLengthMask);
    const int32_t packedEnd = std::min(endTagLength, kEndTagLengthMax);
    Record(index).tagLengths = static_cast<int32_t>(static_cast<uint32_t>(packedStart) |
                                                    (static_cast<uint32_t>(packedEnd) << kEndTagLengthShift));
    if (oversize)
        m_oversizeTags[index] = {startTagLength, endTagLength};
    else if (!m_oversizeTags.empty())
        m_oversizeTags.erase(index);
}

int32_t CXmlDocument::StartTagLength(int32_t index) const
{
    const int32_t packed = GetElement(index).tagLengths & kStartTagLengthMask;
    if (packed == kStartTagLengthMask) {
        const auto found = m_oversizeTags.find(index);
        if (found != m_oversizeTags.end())
            return found->second.first;
    }
    return packed;
}

int32_t CXmlDocument::EndTagLength(int32_t index) const
{
    const int32_t packed = static_cast<int32_t>(static_cast<uint32_t>(GetElement(index).tagLengths) >> kEndTagLengthShift);
    if (packed == kEndTagLengthMax) {
        const auto found = m_oversizeTags.find(index);
        if (found != m_oversizeTags.end())
            return found->second.second;
    }
    return packed;
}

bool CXmlDocument::ReportOpen() const
{
    return m_report.size() <= kReportLimit;
}

void CXmlDocument::AddReportEntry(std::wstring_view entry, std::initializer_list<ReportAttribute> attributes)
{
    if (!ReportOpen())
        return;
    m_report.push_back(L'<');
    m_report.append(entry);
    for (const ReportAttribute& attribute : attributes) {
        m_report.push_back(L' ');
        m_report.append(attribute.name);
        m_report.append(L"=\"");
        AppendEscaped(m_report, attribute.value);
        m_report.push_back(L'"');
    }
    m_report.append(L"/>");
}

bool CXmlDocument::SetText(const wchar_t* text)
{
    const std::size_t length = text ? std::wcslen(text) : 0;
    // The text may be this document's own: take a copy before clearing.
    const std::less<const wchar_t*> before;
    const bool ownText = text && !before(text, m_text.data()) && !before(m_text.data() + m_text.size(), text);
    std::wstring copy;
    if (ownText) {
        copy.assign(text, length);
        text = copy.c_str();
    }
    Clear();
    if (text && length <= kMaxTextLength)
        m_text.assign(text, length);
    return Parse();
}

bool CXmlDocument::LoadBytes(const void* bytes, std::size_t size)
{
    Clear();
    if (size > kMaxTextLength || (size > 0 && !bytes))
        return false;
    const auto* data = static_cast<const unsigned char*>(bytes);
    const EncodingGuess guess = DetectEncoding(data, std::min(size, kDetectionBytes));
    if (guess.markLength > 0)
        AddReportEntry(L"bom");
    DecodeIntoText(data + guess.markLength, size - guess.markLength, guess);
    return Parse();
}

CXmlDocument::EncodingGuess CXmlDocument::DetectEncoding(const unsigned char* head, std::size_t size) const
{
    EncodingGuess guess;
    if (size >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
        guess.markLength = 3;
        guess.name = kUtf8;
    } else if (size >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
        guess.markLength = 2;
        guess.unitSize = 2;
        guess.name = L"UTF-16LE";
    } else if (size >= 2 && head[0] == 0xFE && head[1] == 0xFF) {
        guess.markLength = 2;
        guess.unitSize = 2;
        guess.name = L"UTF-16BE";
    } else {
        guess.name = DeclaredEncoding(ConvertBytes(65001, reinterpret_cast<const char*>(head), size));
        if (guess.name.empty() && size > 0 && head[0] == '<')
            guess.name = kUtf8;
    }
    return guess;
}

void CXmlDocument::DecodeIntoText(const unsigned char* bytes, std::size_t size, const EncodingGuess& guess)
{
    if (guess.unitSize == 2) {
        const std::size_t unitCount = size / 2;
        const bool bigEndian = guess.name == L"UTF-16BE";
        m_text.resize(unitCount);
        std::size_t kept = 0;
        for (std::size_t i = 0; i < unitCount; ++i) {
            const unsigned first = bytes[2 * i];
            const unsigned second = bytes[2 * i + 1];
            const unsigned unit = bigEndian ? (first << 8 | second) : (second << 8 | first);
            if (unit != 0)
                m_text[kept++] = static_cast<wchar_t>(unit);
        }
        m_text.resize(kept);
        if (kept < unitCount)
            AddReportEntry(L"nulls_removed", {{L"count", std::to_wstring(unitCount - kept)}});
        if (bigEndian)
            AddReportEntry(L"endian_swap");
        AddReportEntry(L"read", {{L"encoding", guess.name}, {L"length", std::to_wstring(unitCount)}});
        return;
    }

    // Zero bytes are dropped; the copy is only made when there are any.
    std::string withoutNulls;
    const char* data = reinterpret_cast<const char*>(bytes);
    std::size_t dataSize = size;
    if (size > 0 && std::memchr(bytes, 0, size)) {
        withoutNulls.reserve(size);
        for (std::size_t i = 0; i < size; ++i) {
            if (bytes[i] != 0)
                withoutNulls.push_back(static_cast<char>(bytes[i]));
        }
        AddReportEntry(L"nulls_removed", {{L"count", std::to_wstring(size - withoutNulls.size())}});
        data = withoutNulls.data();
        dataSize = withoutNulls.size();
    }

    std::wstring encoding = guess.name;
    // Where the read entry's encoding value sits, for the UTF-8 test's update.
    const std::size_t readEntryAt = m_report.size();
    const bool readEntryAdded = ReportOpen();
    AddReportEntry(L"read", {{L"encoding", encoding}, {L"length", std::to_wstring(size)}});
    if (dataSize == 0)
        return;

    if (encoding.empty()) {
        if (LooksLikeUtf8(reinterpret_cast<const unsigned char*>(data), dataSize)) {
            encoding = kUtf8;
            if (readEntryAdded)
                m_report.insert(readEntryAt + std::wstring_view(L"<read encoding=\"").size(), kUtf8);
        }
        AddReportEntry(L"utf8_detection");
    }

    int codePage = CharsetToCodePage(encoding);
    if (codePage < 0)
        codePage = 0;
    m_text = ConvertBytes(static_cast<unsigned>(codePage), data, dataSize);
    // A named code page the system cannot convert from (UTF-16 or UTF-32 named
    // in a byte file, a code page not installed) falls back to the ANSI one.
    if (m_text.empty() && codePage != 0)
        m_text = ConvertBytes(0, data, dataSize);
    AddReportEntry(L"converted_to", {{L"encoding", L"UTF-16"}, {L"length", std::to_wstring(m_text.size())}});
}

bool CXmlDocument::Parse()
{
    const int32_t length = static_cast<int32_t>(m_text.size());
    ReserveRecords(static_cast<int64_t>(length) / 64 + 8);
    m_elementCount = 1;
    Record(0) = ElementRecord{};
    Record(0).length = length;
    m_oversizeTags.clear();

    bool wellFormed = IndexBuilder(*this).Build();
    if (!wellFormed)
        Record(0).levelFlags |= kDocumentIllFormed;
    if (length > 0) {
        const int32_t root = Record(0).firstChild;
        if (root == 0) {
            AddReportEntry(L"no_root_element");
            wellFormed = false;
        } else if (Record(root).nextSibling != 0) {
            AddReportEntry(L"root_has_sibling");
            wellFormed = false;
        }
    } else {
        wellFormed = false;
    }
    ResetCursor();
    return wellFormed;
}

std::wstring_view CXmlDocument::ElementName(int32_t index) const
{
    if (index <= 0 || index >= m_elementCount)
        return {};
    const ElementRecord& record = Record(index);
    const int32_t end = record.start + record.length;
    int32_t nameStart = record.start + 1;
    while (nameStart < end && IsXmlWhitespace(m_text[static_cast<std::size_t>(nameStart)]))
        ++nameStart;
    int32_t nameEnd = nameStart;
    while (nameEnd < end && !EndsSearchName(m_text[static_cast<std::size_t>(nameEnd)]))
        ++nameEnd;
    return std::wstring_view(m_text.data() + nameStart, static_cast<std::size_t>(nameEnd - nameStart));
}

bool CXmlDocument::NameMatches(int32_t index, const wchar_t* name) const
{
    if (!name || !*name)
        return true;
    return ElementName(index) == std::wstring_view(name);
}

bool CXmlDocument::FindElement(const wchar_t* name)
{
    if (m_elementCount <= 1)
        return false;
    int32_t candidate = m_currentPos != 0 ? Record(m_currentPos).nextSibling : Record(m_parentPos).firstChild;
    for (; candidate != 0; candidate = Record(candidate).nextSibling) {
        if (NameMatches(candidate, name)) {
            m_currentPos = candidate;
            m_parentPos = Record(candidate).parent;
            m_childPos = 0;
            m_nodeKind = 1;
            return true;
        }
    }
    return false;
}

bool CXmlDocument::FindNextElement(const wchar_t* name)
{
    if (m_elementCount <= 1)
        return false;
    const int32_t next = m_currentPos != 0 ? Record(m_currentPos).nextSibling : Record(m_parentPos).firstChild;
    if (next == 0 || !NameMatches(next, name))
        return false;
    m_currentPos = next;
    m_parentPos = Record(next).parent;
    m_childPos = 0;
    m_nodeKind = 1;
    return true;
}

bool CXmlDocument::FindNextChildElement(const wchar_t* name)
{
    if (m_currentPos == 0)
        return false;
    const int32_t next = m_childPos != 0 ? Record(m_childPos).nextSibling : Record(m_currentPos).firstChild;
    if (next == 0 || !NameMatches(next, name))
        return false;
    m_childPos = next;
    return true;
}

bool CXmlDocument::FindChildElement(const wchar_t* name)
{
    if (m_currentPos == 0 && !FindElement(nullptr))
        return false;
    int32_t candidate = m_childPos != 0 ? Record(m_childPos).nextSibling : Record(m_currentPos).firstChild;
    for (; candidate != 0; candidate = Record(candidate).nextSibling) {
        if (NameMatches(candidate, name)) {
            m_childPos = candidate;
            return true;
        }
    }
    return false;
}

bool CXmlDocument::EnterElement()
{
    if (m_currentPos == 0)
        return false;
    m_parentPos = m_currentPos;
    m_currentPos = m_childPos;
    m_childPos = 0;
    m_nodeKind = m_currentPos != 0 ? 1 : 0;
    return true;
}

bool CXmlDocument::LeaveElement()
{
    if (m_parentPos == 0)
        return false;
    const int32_t oldParent = m_parentPos;
    m_childPos = m_currentPos;
    m_currentPos = oldParent;
    m_parentPos = Record(oldParent).parent;
    m_nodeKind = 1;
    return true;
}

std::wstring CXmlDocument::GetElementText() const
{
    std::wstring result;
    if (m_currentPos == 0)
        return result;
    const ElementRecord& record = Record(m_currentPos);
    const int32_t endTagLength = EndTagLength(m_currentPos);
    if (record.firstChild != 0 || endTagLength == 0)
        return result;
    const int32_t contentStart = record.start + StartTagLength(m_currentPos);
    const int32_t contentEnd = record.start + record.length - endTagLength;
    if (contentEnd <= contentStart)
        return result;

    const wchar_t* text = m_text.data();
    const std::size_t contentLength = static_cast<std::size_t>(contentEnd - contentStart);
    if (!std::wmemchr(text + contentStart, L'<', contentLength)) {
        xml_detail::AppendDecodedText(text + contentStart, contentLength, result);
        return result;
    }
    // Mixed content: text with references decoded and CDATA sections as they
    // are; whitespace between markup, comments and the rest are left out.
    const XmlScanner scanner(text, contentEnd, nullptr);
    for (int32_t offset = contentStart;;) {
        const XmlNode node = scanner.Next(offset);
        if (node.kind == XmlEndOfText)
            break;
        if (node.kind == XmlText) {
            xml_detail::AppendDecodedText(text + node.start, static_cast<std::size_t>(node.length), result);
        } else if (node.kind == XmlCData) {
            const int32_t innerStart = node.start + 9;  // "<![CDATA["
            const int32_t innerEnd = node.End() - 3;    // "]]>"
            if (innerEnd > innerStart)
                result.append(text + innerStart, static_cast<std::size_t>(innerEnd - innerStart));
        }
        offset = node.End();
    }
    return result;
}

std::wstring CXmlDocument::GetChildElementText()
{
    // Without a current element there is nothing to enter, and nothing to leave.
    if (!EnterElement())
        return {};
    std::wstring text = GetElementText();
    LeaveElement();
    return text;
}

}  // namespace kelm
