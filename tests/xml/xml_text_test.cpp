// Character data of elements and character references.
#include "xml/xml_document.h"

#include <gtest/gtest.h>

#include <string>

namespace kelm {
namespace {

struct TextCase {
    const wchar_t* document;
    const wchar_t* expected;
};

class ElementText : public testing::TestWithParam<TextCase> {};

TEST_P(ElementText, IsExtractedFromTheFirstElement)
{
    CXmlDocument document;
    document.SetText(GetParam().document);
    ASSERT_TRUE(document.FindElement(L"a"));
    EXPECT_EQ(document.GetElementText(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ElementText,
    testing::Values(TextCase{L"<a>  x &amp; y  </a>", L"  x & y  "},
                    TextCase{L"<a> <![CDATA[<b>]]> </a>", L"<b>"},
                    TextCase{L"<a>p<!--c-->q</a>", L"pq"},
                    TextCase{L"<a>p<?pi x?>q</a>", L"pq"},
                    TextCase{L"<a>x <![CDATA[&amp;]]> y</a>", L"x &amp; y"},
                    TextCase{L"<a>\r\n  line\t\r\n</a>", L"\r\n  line\t\r\n"},
                    TextCase{L"<a x=\"1>2\" y='>'>t</a>", L"t"},
                    TextCase{L"<a></a>", L""},
                    TextCase{L"<a/>", L""},
                    TextCase{L"<a><b/></a>", L""},
                    TextCase{L"<a>x<b>y</b>z</a>", L""},
                    TextCase{L"<a>x", L""},
                    TextCase{L"<a><!-- only --></a>", L""}));

class References : public testing::TestWithParam<TextCase> {};

TEST_P(References, DecodeInElementText)
{
    CXmlDocument document;
    ASSERT_TRUE(document.SetText((std::wstring(L"<a>") + GetParam().document + L"</a>").c_str()));
    ASSERT_TRUE(document.FindElement(L"a"));
    EXPECT_EQ(document.GetElementText(), GetParam().expected) << GetParam().document;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, References,
    testing::Values(TextCase{L"&#65;", L"A"}, TextCase{L"&#x41;", L"A"}, TextCase{L"&#X41;", L"A"},
                    TextCase{L"&#65abc;", L"A"},
                    TextCase{L"&eacute;", L"\u00E9"}, TextCase{L"&Eacute;", L"\u00C9"},
                    TextCase{L"&EACUTE;", L"\u00C9"}, TextCase{L"&eAcute;", L"\u00C9"},
                    TextCase{L"&rarr;", L"\u2192"}, TextCase{L"&rArr;", L"\u21D2"}, TextCase{L"&RARR;", L"\u21D2"},
                    TextCase{L"&AMP;", L"&"}, TextCase{L"&Lt;", L"<"}, TextCase{L"&apos;", L"'"},
                    TextCase{L"&APOS;", L"'"}, TextCase{L"&nbsp;", L"\u00A0"}, TextCase{L"&thetasym;", L"\u03D1"},
                    TextCase{L"&diams;", L"\u2666"},
                    TextCase{L"&nosuch;", L"&nosuch;"}, TextCase{L"&#0;", L"&#0;"}, TextCase{L"&#x0;", L"&#x0;"},
                    TextCase{L"&#;", L"&#;"}, TextCase{L"&;", L"&;"}, TextCase{L"&amp", L"&amp"},
                    TextCase{L"&&amp;", L"&&"}, TextCase{L"&\u00E9;", L"&\u00E9;"},
                    // Nine characters before ';' decode; ten stay as written.
                    TextCase{L"&#00000065;", L"A"}, TextCase{L"&#000000065;", L"&#000000065;"},
                    TextCase{L"&abcdefghij;x", L"&abcdefghij;x"},
                    // Beyond the basic plane: a surrogate pair; beyond Unicode: as written.
                    TextCase{L"&#128512;", L"\xD83D\xDE00"}, TextCase{L"&#x1F600;", L"\xD83D\xDE00"},
                    TextCase{L"&#x110000;", L"&#x110000;"},
                    TextCase{L"a&lt;b&gt;c", L"a<b>c"}));

TEST(ElementText, OfAChildThroughTheCursor)
{
    CXmlDocument document;
    ASSERT_TRUE(document.SetText(L"<a><b>x</b></a>"));
    ASSERT_TRUE(document.FindElement(L"a"));
    ASSERT_TRUE(document.FindChildElement(L"b"));
    EXPECT_EQ(document.GetChildElementText(), L"x");
    EXPECT_EQ(document.GetElementText(), L"");  // a has a child element
}

TEST(ElementText, OfAnEndTagLongerThanItsPackedField)
{
    const std::wstring text = L"<a>x &amp; y</a" + std::wstring(2000, L' ') + L">";
    CXmlDocument document;
    ASSERT_TRUE(document.SetText(text.c_str()));
    ASSERT_TRUE(document.FindElement(L"a"));
    EXPECT_EQ(document.EndTagLength(1), 2004);
    EXPECT_EQ(document.GetElementText(), L"x & y");
}

}  // namespace
}  // namespace kelm
