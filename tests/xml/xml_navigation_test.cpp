// The cursor: parent, current element and selected child.
#include "xml/xml_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelm {
namespace {

constexpr const wchar_t* kCatalog =
    L"<root>"
    L"<item id=\"1\">one</item>"
    L"<other/>"
    L"<item>two</item>"
    L"<group><item>three</item><item>four</item></group>"
    L"<item\n>five</item>"
    L"</root>";

struct Cursor {
    int32_t parent;
    int32_t current;
    int32_t child;
};

Cursor CursorOf(const CXmlDocument& document)
{
    return {document.GetParentPos(), document.GetCurrentPos(), document.GetChildPos()};
}

void ExpectCursor(const CXmlDocument& document, Cursor expected)
{
    EXPECT_EQ(document.GetParentPos(), expected.parent);
    EXPECT_EQ(document.GetCurrentPos(), expected.current);
    EXPECT_EQ(document.GetChildPos(), expected.child);
}

class Navigation : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_document.SetText(kCatalog)); }
    CXmlDocument m_document;
};

TEST_F(Navigation, SelectsRepeatedChildrenInOrderThenStops)
{
    ASSERT_TRUE(m_document.FindElement(L"root"));
    std::vector<std::wstring> texts;
    while (m_document.FindChildElement(L"item"))
        texts.push_back(m_document.GetChildElementText());
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"one", L"two", L"five"}));
    EXPECT_EQ(m_document.ElementName(m_document.GetChildPos()), L"item");
    EXPECT_EQ(m_document.GetElement(m_document.GetChildPos()).nextSibling, 0);
}

TEST_F(Navigation, FindElementVisitsEachSiblingOnceAtTheLevelEntered)
{
    ASSERT_TRUE(m_document.FindElement(L"root"));
    ASSERT_TRUE(m_document.FindChildElement(L"item"));
    ASSERT_TRUE(m_document.EnterElement());
    std::vector<std::wstring> texts{m_document.GetElementText()};
    while (m_document.FindElement(L"item"))
        texts.push_back(m_document.GetElementText());
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"one", L"two", L"five"}));

    // Past the last sibling the cursor stays where it was.
    const Cursor last = CursorOf(m_document);
    EXPECT_FALSE(m_document.FindElement(L"item"));
    EXPECT_FALSE(m_document.FindElement(nullptr));
    ExpectCursor(m_document, last);
    EXPECT_EQ(m_document.GetElementText(), L"five");
}

TEST_F(Navigation, FindNextTakesOnlyTheVeryNextElement)
{
    ASSERT_TRUE(m_document.FindElement(L"root"));
    ASSERT_TRUE(m_document.FindChildElement(L"item")); // one
    EXPECT_FALSE(m_document.FindNextChildElement(L"item")); // <other/> stands between
    EXPECT_TRUE(m_document.FindNextChildElement(L"other"));
    EXPECT_TRUE(m_document.FindNextChildElement(L"item"));
    EXPECT_EQ(m_document.GetChildElementText(), L"two");

    ASSERT_TRUE(m_document.EnterElement()); // two, current
    const Cursor atTwo = CursorOf(m_document);
    EXPECT_FALSE(m_document.FindNextElement(L"item"));
    ExpectCursor(m_document, atTwo);
    EXPECT_TRUE(m_document.FindNextElement(L"group"));
    EXPECT_TRUE(m_document.FindNextElement(L"item"));
    EXPECT_EQ(m_document.GetElementText(), L"five");
    EXPECT_FALSE(m_document.FindNextElement(nullptr)); // the last one
}

TEST_F(Navigation, LeaveElementKeepsTheElementLeftAsSelectedChild)
{
    ASSERT_TRUE(m_document.FindElement(L"root"));
    const int32_t root = m_document.GetCurrentPos();
    ASSERT_TRUE(m_document.FindChildElement(L"group"));
    const int32_t group = m_document.GetChildPos();
    ASSERT_TRUE(m_document.EnterElement());
    ExpectCursor(m_document, {root, group, 0});
    ASSERT_TRUE(m_document.FindChildElement(L"item"));
    ASSERT_TRUE(m_document.FindChildElement(L"item"));
    const int32_t four = m_document.GetChildPos();
    ASSERT_TRUE(m_document.EnterElement());
    ExpectCursor(m_document, {group, four, 0});

    ASSERT_TRUE(m_document.LeaveElement());
    ExpectCursor(m_document, {root, group, four});
    ASSERT_TRUE(m_document.EnterElement());
    EXPECT_EQ(m_document.GetElementText(), L"four");

    ASSERT_TRUE(m_document.LeaveElement());
    ASSERT_TRUE(m_document.LeaveElement());
    ExpectCursor(m_document, {0, root, group});
    EXPECT_FALSE(m_document.LeaveElement());
    ExpectCursor(m_document, {0, root, group});
}

TEST_F(Navigation, GetChildElementTextRestoresTheCursor)
{
    ASSERT_TRUE(m_document.FindElement(L"root"));
    ASSERT_TRUE(m_document.FindChildElement(L"other"));
    const Cursor before = CursorOf(m_document);
    EXPECT_EQ(m_document.GetChildElementText(), L"");
    ExpectCursor(m_document, before);

    // With no child selected: empty, cursor unchanged.
    CXmlDocument fresh;
    ASSERT_TRUE(fresh.SetText(kCatalog));
    ASSERT_TRUE(fresh.FindElement(L"root"));
    EXPECT_EQ(fresh.GetChildElementText(), L"");
    ExpectCursor(fresh, {0, 1, 0});
}

TEST_F(Navigation, EnterAndFindWithoutACurrentElement)
{
    EXPECT_FALSE(m_document.EnterElement());
    EXPECT_EQ(m_document.GetElementText(), L"");
    EXPECT_EQ(m_document.GetNodeKind(), 0);
    // FindChildElement first moves onto the root.
    ASSERT_TRUE(m_document.FindChildElement(L"other"));
    EXPECT_EQ(m_document.GetCurrentPos(), 1);
    EXPECT_EQ(m_document.GetNodeKind(), 1);
    EXPECT_EQ(m_document.ElementName(m_document.GetChildPos()), L"other");
}

TEST_F(Navigation, NamesAreCaseSensitiveAndWhole)
{
    EXPECT_FALSE(m_document.FindElement(L"Root"));
    EXPECT_FALSE(m_document.FindElement(L"roo"));
    EXPECT_TRUE(m_document.FindElement(L""));
    EXPECT_EQ(m_document.GetCurrentPos(), 1);
}

TEST_F(Navigation, SetTextWithTheDocumentsOwnTextStartsOver)
{
    ASSERT_TRUE(m_document.FindElement(L"root"));
    ASSERT_TRUE(m_document.FindChildElement(L"group"));
    EXPECT_TRUE(m_document.SetText(m_document.GetText().c_str()));
    EXPECT_EQ(m_document.GetText(), kCatalog);
    ExpectCursor(m_document, {0, 0, 0});
    EXPECT_TRUE(m_document.FindChildElement(L"group"));
}

TEST(NavigationOfAnEmptyIndex, FindsNothing)
{
    CXmlDocument document;
    EXPECT_FALSE(document.FindElement(nullptr));
    EXPECT_FALSE(document.FindChildElement(nullptr));
    EXPECT_FALSE(document.SetText(L"<!-- nothing -->"));
    EXPECT_FALSE(document.FindElement(nullptr));
    ExpectCursor(document, {0, 0, 0});
}

TEST(NavigationOfAFaultyDocument, FindsWhatWasUnderstood)
{
    CXmlDocument document;
    EXPECT_FALSE(document.SetText(L"<a></b><c>x</c></a>"));
    ASSERT_TRUE(document.FindElement(L"a"));
    ASSERT_TRUE(document.FindChildElement(L"c"));
    EXPECT_EQ(document.GetChildElementText(), L"x");
}

}  // namespace
}  // namespace kelm
