#pragma once
// CXmlDocument: the installer's own XML reader. The whole document is held as
// one UTF-16 string; a single pass builds an index of its elements (offsets
// only), which callers walk with a cursor of three positions: parent, current
// element and selected child. The reader is lenient: it indexes whatever it
// understands, records every structural fault in a result report and tells
// whether the document was well-formed.
//
// Strings are UTF-16. On Windows they are wchar_t strings; the parsing core
// also builds natively (tools/native), where each wchar_t holds one UTF-16 unit.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kelm {

// One element of the index. Record 0 stands for the document itself.
struct ElementRecord {
    int32_t start = 0;       // offset of the '<' of the start tag
    int32_t length = 0;      // to the end of the end tag, or the start tag alone
    int32_t tagLengths = 0;  // bits 0-21 start-tag length, bits 22-31 end-tag length
    int32_t levelFlags = 0;  // bits 0-15 nesting level, plus the flags below
    int32_t parent = 0;
    int32_t firstChild = 0;
    int32_t nextSibling = 0;
    int32_t prevSibling = 0; // the first child holds the last child of its parent
};

constexpr int32_t kElementLevelMask = 0xFFFF;
constexpr int32_t kElementUnended = 0x100000;
constexpr int32_t kDocumentIllFormed = 0x800000;  // record 0 only
constexpr int32_t kStartTagLengthMask = 0x3FFFFF;
constexpr int kEndTagLengthShift = 22;
constexpr int32_t kEndTagLengthMax = 0x3FF;

// Node kinds the scanner produces.
enum XmlNodeKind : int {
    XmlEndTag = 0,
    XmlStartTag = 1,
    XmlText = 2,
    XmlWhitespace = 4,
    XmlCData = 8,
    XmlProcessingInstruction = 16,
    XmlComment = 32,
    XmlDocumentType = 64,
    XmlFault = -1,
    XmlEndOfText = -2,
};

// Windows code page for an encoding name (ASCII case ignored): 0 for an empty
// or absent name (the ANSI code page), -1 for an unknown name or one of 100 or
// more characters (which every conversion treats as the ANSI code page).
int CharsetToCodePage(const wchar_t* name);
int CharsetToCodePage(std::wstring_view name);

class CXmlDocument {
public:
    CXmlDocument();
    ~CXmlDocument();
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    // Replaces the text (null means empty) and parses it; true when well-formed.
    bool SetText(const wchar_t* text);
    bool SetText(const std::wstring& text) { return SetText(text.c_str()); }

    // Reads and decodes a file, then parses it; true when well-formed. When the
    // file cannot be opened or read the text stays empty and the result is false.
    bool LoadFile(const wchar_t* path);
    bool LoadFile(const std::wstring& path) { return LoadFile(path.c_str()); }

    // LoadFile's decoding and parsing for a file's content already in memory.
    bool LoadBytes(const void* bytes, std::size_t size);

    // Cursor navigation. A null or empty name matches every element.
    bool FindElement(const wchar_t* name = nullptr);
    bool FindElement(const std::wstring& name) { return FindElement(name.c_str()); }
    bool FindChildElement(const wchar_t* name = nullptr);
    bool FindChildElement(const std::wstring& name) { return FindChildElement(name.c_str()); }
    bool EnterElement();
    bool LeaveElement();
    // FindElement and FindChildElement for the very next element only: it is
    // taken when it has this name; otherwise the cursor stays and the result
    // is false (so an element that follows in a fixed order is still found).
    bool FindNextElement(const wchar_t* name);
    bool FindNextChildElement(const wchar_t* name);

    // Character data of the current element (or of the selected child), with
    // character references decoded; empty for elements with child elements.
    std::wstring GetElementText() const;
    std::wstring GetChildElementText();

    const std::wstring& GetResultReport() const { return m_report; }

    // Read-only views for diagnostics and tests.
    const std::wstring& GetText() const { return m_text; }
    int32_t GetElementCount() const { return m_elementCount; }
    const ElementRecord& GetElement(int32_t index) const;
    int32_t GetParentPos() const { return m_parentPos; }
    int32_t GetCurrentPos() const { return m_currentPos; }
    int32_t GetChildPos() const { return m_childPos; }
    int32_t GetNodeKind() const { return m_nodeKind; }
    // Exact tag lengths of a record (the packed field saturates on huge tags).
    int32_t StartTagLength(int32_t index) const;
    int32_t EndTagLength(int32_t index) const;
    // An element's name as the cursor's searches read it.
    std::wstring_view ElementName(int32_t index) const;

    // Report composition, shared with the file reader.
    struct ReportAttribute {
        std::wstring_view name;
        std::wstring_view value;
    };
    void AddReportEntry(std::wstring_view entry, std::initializer_list<ReportAttribute> attributes = {});
    // Entries are added only while the report is at most 999 characters long.
    bool ReportOpen() const;

private:
    struct EncodingGuess {
        std::size_t markLength = 0;
        int unitSize = 1;
        std::wstring name;
    };
    struct OpenElement;
    class IndexBuilder;

    void Clear();
    EncodingGuess DetectEncoding(const unsigned char* head, std::size_t size) const;
    void DecodeIntoText(const unsigned char* bytes, std::size_t size, const EncodingGuess& guess);
    bool Parse();

    ElementRecord& Record(int32_t index);
    const ElementRecord& Record(int32_t index) const;
    void ReserveRecords(int64_t capacity);
    int32_t AppendRecord();
    void SetTagLengths(int32_t index, int32_t startTagLength, int32_t endTagLength);
    void ResetCursor();
    bool NameMatches(int32_t index, const wchar_t* name) const;
    int32_t FirstChildOf(int32_t index) const;

    std::wstring m_text;
    std::wstring m_report;
    // The index in blocks of 65,536 records: a record number's upper 16 bits
    // select the block, the lower 16 bits the record within it.
    std::vector<std::vector<ElementRecord>> m_blocks;
    int64_t m_capacity = 0;
    int32_t m_elementCount = 0;
    // Exact tag lengths (start, end) of records whose tags are too long for
    // the packed field; empty for any ordinary document.
    std::map<int32_t, std::pair<int32_t, int32_t>> m_oversizeTags;

    int32_t m_parentPos = 0;
    int32_t m_currentPos = 0;
    int32_t m_childPos = 0;
    int32_t m_nodeKind = 0;
};

}  // namespace kelm
