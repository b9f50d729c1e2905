// The element index: record fields, unended elements, growth past one block.
#include "xml/xml_document.h"

#include <gtest/gtest.h>

#include <string>

namespace kelm {
namespace {

int32_t Level(const ElementRecord& record)
{
    return record.levelFlags & kElementLevelMask;
}

TEST(ElementIndex, RecordsOfAWellFormedDocument)
{
    CXmlDocument document;
    ASSERT_TRUE(document.SetText(L"<r><a x='1'>t</a><b/><c></c></r>"));
    ASSERT_EQ(document.GetElementCount(), 5);
    const ElementRecord& root = document.GetElement(0);
    EXPECT_EQ(root.length, 32);
    EXPECT_EQ(root.firstChild, 1);

    const ElementRecord& r = document.GetElement(1);
    EXPECT_EQ(r.start, 0);
    EXPECT_EQ(r.length, 32);
    EXPECT_EQ(r.tagLengths, 3 | (4 << kEndTagLengthShift));
    EXPECT_EQ(r.firstChild, 2);
    EXPECT_EQ(r.prevSibling, 1);  // the only top-level element names itself

    const ElementRecord& a = document.GetElement(2);
    EXPECT_EQ(a.start, 3);
    EXPECT_EQ(a.length, 14);
    EXPECT_EQ(a.tagLengths, 9 | (4 << kEndTagLengthShift));
    EXPECT_EQ(a.parent, 1);
    EXPECT_EQ(Level(a), 1);
    EXPECT_EQ(a.nextSibling, 3);
    EXPECT_EQ(a.prevSibling, 4);  // the first child holds the last child

    const ElementRecord& b = document.GetElement(3);
    EXPECT_EQ(b.length, 4);
    EXPECT_EQ(b.tagLengths, 4);
    EXPECT_EQ(b.prevSibling, 2);
    EXPECT_EQ(b.nextSibling, 4);
    EXPECT_EQ(b.levelFlags & kElementUnended, 0);

    const ElementRecord& c = document.GetElement(4);
    EXPECT_EQ(c.prevSibling, 3);
    EXPECT_EQ(c.nextSibling, 0);
}

TEST(ElementIndex, UnendedElementsHandTheirChildrenToTheirParent)
{
    CXmlDocument document;
    EXPECT_FALSE(document.SetText(L"<r><a><x/><b><y/></r>"));
    EXPECT_EQ(document.GetResultReport(),
              L"<unended_start_tag tagname=\"b\" offset=\"10\" offset2=\"18\"/>"
              L"<unended_start_tag tagname=\"a\" offset=\"3\" offset2=\"18\"/>");
    // r's children in document order: a, x, b, y.
    ASSERT_TRUE(document.FindElement(L"r"));
    std::wstring order;
    while (document.FindChildElement(nullptr)) {
        order += document.ElementName(document.GetChildPos());
        EXPECT_EQ(document.GetElement(document.GetChildPos()).parent, 1);
    }
    EXPECT_EQ(order, L"axby");
    EXPECT_EQ(document.GetElement(document.GetElement(1).firstChild).prevSibling, 5);

    const ElementRecord& a = document.GetElement(2);
    EXPECT_NE(a.levelFlags & kElementUnended, 0);
    EXPECT_EQ(a.length, 3);
    EXPECT_EQ(a.tagLengths, 3);
    EXPECT_EQ(a.firstChild, 0);
    EXPECT_EQ(document.GetElement(1).length, 21);
    EXPECT_NE(document.GetElement(0).levelFlags & kDocumentIllFormed, 0);
}

TEST(ElementIndex, UnendedElementKeepsOnlyItsStartTag)
{
    CXmlDocument document;
    EXPECT_FALSE(document.SetText(L"<a><b></a>"));
    EXPECT_TRUE(document.FindElement(L"a"));
    const ElementRecord& b = document.GetElement(2);
    EXPECT_EQ(b.length, 3);
    EXPECT_EQ(document.EndTagLength(2), 0);
    EXPECT_NE(b.levelFlags & kElementUnended, 0);
}

TEST(ElementIndex, EmptyElementRules)
{
    struct Case {
        const wchar_t* document;
        bool empty;
    };
    const Case cases[] = {
        {L"<a/>", true},        {L"<a />", true},         {L"<a x=\"1\"/>", true}, {L"<a x='1>2'/>", true},
        {L"<a x=\"1\" />", true}, {L"<a x=1/>", false},   {L"<a x=/>", false},     {L"<a b/>", false},
        {L"<a/ >", false},
    };
    for (const Case& c : cases) {
        CXmlDocument document;
        EXPECT_EQ(document.SetText(c.document), c.empty) << c.document;
        EXPECT_EQ(document.GetElementCount(), 2) << c.document;
        EXPECT_EQ((document.GetElement(1).levelFlags & kElementUnended) == 0, c.empty) << c.document;
    }
}

TEST(ElementIndex, GrowsPastOneBlockWithStableRecordNumbers)
{
    constexpr int kItems = 150000;  // more than two blocks of 65,536 records
    std::wstring text = L"<list>";
    for (int i = 0; i < kItems; ++i)
        text += L"<i>" + std::to_wstring(i) + L"</i>";
    text += L"</list>";
    CXmlDocument document;
    ASSERT_TRUE(document.SetText(text.c_str()));
    ASSERT_EQ(document.GetElementCount(), kItems + 2);
    ASSERT_TRUE(document.FindElement(L"list"));
    int visited = 0;
    while (document.FindChildElement(L"i")) {
        ASSERT_EQ(document.GetChildPos(), visited + 2);
        if (visited % 65536 == 65535 || visited == kItems - 1) {
            EXPECT_EQ(document.GetChildElementText(), std::to_wstring(visited));
        }
        ++visited;
    }
    EXPECT_EQ(visited, kItems);
    EXPECT_EQ(document.GetElement(document.GetElement(1).firstChild).prevSibling, kItems + 1);
}

TEST(ElementIndex, DeepUnendedNestingBecomesSiblingsInLinearTime)
{
    constexpr int kDepth = 100000;
    std::wstring text;
    for (int i = 0; i < kDepth; ++i)
        text += L"<d>";
    CXmlDocument document;
    EXPECT_FALSE(document.SetText(text.c_str()));
    int visited = 0;
    while (document.FindElement(L"d")) {
        EXPECT_EQ(document.GetElement(document.GetCurrentPos()).parent, 0);
        ++visited;
    }
    EXPECT_EQ(visited, kDepth);
    EXPECT_EQ(Level(document.GetElement(kDepth)), kElementLevelMask);  // the level saturates
}

}  // namespace
}  // namespace kelm
