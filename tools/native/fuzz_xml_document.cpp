// libFuzzer target: parses any input with SetText or LoadBytes, checks the
// element index for consistency and walks every element with the cursor.
// The first input byte selects how the rest becomes a document:
//   0: each byte is one UTF-16 unit; 1: UTF-16LE unit pairs; 2: file bytes.
#include "xml/xml_document.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using kelm::CXmlDocument;
using kelm::ElementRecord;

namespace {

#define FUZZ_CHECK(condition)                                                           \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #condition); \
            std::abort();                                                               \
        }                                                                               \
    } while (false)

// Every record lies inside the text, starts with '<', and sits exactly once in
// its parent's child list, whose links agree both ways.
void CheckIndex(const CXmlDocument& document)
{
    const int32_t count = document.GetElementCount();
    const int32_t textLength = static_cast<int32_t>(document.GetText().size());
    const ElementRecord& documentRecord = document.GetElement(0);
    FUZZ_CHECK(count >= 1);
    FUZZ_CHECK(documentRecord.length == textLength);
    int32_t linked = 0;
    for (int32_t index = 0; index < count; ++index) {
        const ElementRecord& record = document.GetElement(index);
        if (index > 0) {
            FUZZ_CHECK(record.start >= 0 && record.length > 0);
            FUZZ_CHECK(static_cast<int64_t>(record.start) + record.length <= textLength);
            FUZZ_CHECK(document.GetText()[static_cast<std::size_t>(record.start)] == L'<');
            FUZZ_CHECK(record.parent >= 0 && record.parent < index);
            const int32_t startTag = document.StartTagLength(index);
            const int32_t endTag = document.EndTagLength(index);
            FUZZ_CHECK(startTag > 0 && startTag + endTag <= record.length);
            FUZZ_CHECK(endTag > 0 || record.length == startTag);
        }
        const int32_t first = record.firstChild;
        if (first == 0)
            continue;
        FUZZ_CHECK(first > index && first < count);
        int32_t previous = 0;
        int32_t last = 0;
        for (int32_t child = first; child != 0; child = document.GetElement(child).nextSibling) {
            FUZZ_CHECK(child > 0 && child < count);
            FUZZ_CHECK(++linked < count);
            const ElementRecord& childRecord = document.GetElement(child);
            FUZZ_CHECK(childRecord.parent == index);
            if (previous != 0) {
                FUZZ_CHECK(child > previous);
                FUZZ_CHECK(childRecord.prevSibling == previous);
            }
            previous = last = child;
        }
        FUZZ_CHECK(document.GetElement(first).prevSibling == last);
    }
    FUZZ_CHECK(linked == count - 1);
}

void CheckCursor(const CXmlDocument& document)
{
    const int32_t current = document.GetCurrentPos();
    const int32_t child = document.GetChildPos();
    if (current != 0)
        FUZZ_CHECK(document.GetElement(current).parent == document.GetParentPos());
    if (child != 0)
        FUZZ_CHECK(current != 0 && document.GetElement(child).parent == current);
}

// Depth-first walk over every element with the cursor calls alone.
int32_t Walk(CXmlDocument& document)
{
    if (!document.FindElement(nullptr))
        return 0;
    int32_t visited = 1;
    int32_t depth = 0;
    for (;;) {
        CheckCursor(document);
        (void)document.GetElementText();
        if (document.FindChildElement(nullptr)) {
            (void)document.GetChildElementText();
            FUZZ_CHECK(document.EnterElement());
            ++depth;
            ++visited;
            continue;
        }
        for (;;) {
            if (depth == 0) {
                if (!document.FindElement(nullptr))
                    return visited;
                ++visited;
                break;
            }
            FUZZ_CHECK(document.LeaveElement());
            --depth;
            if (document.FindChildElement(nullptr)) {
                FUZZ_CHECK(document.EnterElement());
                ++depth;
                ++visited;
                break;
            }
        }
    }
}

// Searches by the names of the first few elements, from the top.
void SearchByName(CXmlDocument& document)
{
    const int32_t searches = std::min<int32_t>(document.GetElementCount() - 1, 16);
    for (int32_t index = 1; index <= searches; ++index) {
        const std::wstring name(document.ElementName(index));
        const int32_t count = document.GetElementCount();
        document.SetText(document.GetText().c_str());  // resets the cursor, keeps the index
        FUZZ_CHECK(document.GetElementCount() == count);
        int32_t steps = 0;
        while (document.FindElement(name.c_str()) && ++steps < 64) {
            FUZZ_CHECK(document.ElementName(document.GetCurrentPos()) == name || name.empty());
            while (document.FindChildElement(name.c_str()) && ++steps < 64)
                (void)document.GetChildElementText();
            CheckCursor(document);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int mode = data[0] % 3;
    ++data;
    --size;

    CXmlDocument document;
    bool wellFormed = false;
    if (mode == 2) {
        wellFormed = document.LoadBytes(data, size);
    } else {
        std::wstring text;
        if (mode == 0) {
            text.assign(data, data + size);
        } else {
            for (size_t i = 0; i + 1 < size; i += 2)
                text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
        }
        wellFormed = document.SetText(text.c_str());
    }
    const std::wstring& report = document.GetResultReport();
    FUZZ_CHECK(report.empty() || report.compare(report.size() - 2, 2, L"/>") == 0);
    CheckIndex(document);
    FUZZ_CHECK(wellFormed == (document.GetElementCount() > 1 && (document.GetElement(0).levelFlags & kelm::kDocumentIllFormed) == 0 &&
                              document.GetElement(document.GetElement(0).firstChild).nextSibling == 0));

    if (mode == 2) {
        // The decoded text parses the same way on its own.
        CXmlDocument again;
        FUZZ_CHECK(again.SetText(document.GetText().c_str()) == wellFormed);
        FUZZ_CHECK(again.GetElementCount() == document.GetElementCount());
    }

    const int32_t visited = Walk(document);
    FUZZ_CHECK(visited == document.GetElementCount() - 1);
    SearchByName(document);
    return 0;
}
