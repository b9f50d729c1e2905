// Structural faults: each kind with its report entry, its offsets and the parse result.
#include "xml/xml_document.h"

#include <gtest/gtest.h>

#include <string>

namespace kelm {
namespace {

struct ReportCase {
    const wchar_t* document;
    bool wellFormed;
    const wchar_t* report;
};

class ParseReport : public testing::TestWithParam<ReportCase> {};

TEST_P(ParseReport, MatchesExactly)
{
    CXmlDocument document;
    EXPECT_EQ(document.SetText(GetParam().document), GetParam().wellFormed);
    EXPECT_EQ(document.GetResultReport(), GetParam().report);
    EXPECT_EQ((document.GetElement(0).levelFlags & kDocumentIllFormed) != 0,
              std::wstring(GetParam().report).find(L"_syntax") != std::wstring::npos ||
                  std::wstring(GetParam().report).find(L"_tag ") != std::wstring::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ParseReport,
    testing::Values(
        ReportCase{L"<a><b x='1'>t</b></a>", true, L""},
        ReportCase{L"<!DOCTYPE a [<!ELEMENT a (#PCDATA)> <!-- > --> <!ENTITY e \"x>y\">]><a/>", true, L""},
        ReportCase{L"<a><1></a>", false, L"<first_tag_syntax offset=\"3\"/>"},
        ReportCase{L"<a>< b</a>", false, L"<first_tag_syntax offset=\"3\"/>"},
        ReportCase{L"<a><!x></a>", false, L"<exclamation_tag_syntax offset=\"3\"/>"},
        ReportCase{L"<a><!-x></a>", false, L"<comment_tag_syntax offset=\"3\"/>"},
        ReportCase{L"<a><![X[y]]></a>", false, L"<cdata_section_syntax offset=\"3\"/>"},
        ReportCase{L"<!DOCTYPE a [<!x>]><a/>", false, L"<doctype_tag_syntax offset=\"0\"/>"},
        ReportCase{L"<a/><b", false, L"<unterminated_tag_syntax type=\"start_tag\" offset=\"4\"/>"},
        ReportCase{L"<a/><b x=\"/>", false, L"<unterminated_tag_syntax type=\"start_tag\" offset=\"4\"/>"},
        ReportCase{L"<a></a", false,
                   L"<unterminated_tag_syntax type=\"end_tag\" offset=\"3\"/>"
                   L"<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"6\"/>"},
        ReportCase{L"<a/><?pi x", false, L"<unterminated_tag_syntax type=\"processing_instruction\" offset=\"4\"/>"},
        ReportCase{L"<a/><!-- x -", false, L"<unterminated_tag_syntax type=\"comment\" offset=\"4\"/>"},
        ReportCase{L"<a/><![CDATA[x]]", false, L"<unterminated_tag_syntax type=\"cdata_section\" offset=\"4\"/>"},
        ReportCase{L"<a/><!DOCTYPE a [<!ENTITY e \">\"", false,
                   L"<unterminated_tag_syntax type=\"document_type\" offset=\"4\"/>"},
        ReportCase{L"<a/><", false, L"<unterminated_tag_syntax type=\"tag\" offset=\"4\"/>"},
        ReportCase{L"<a/><!", false, L"<unterminated_tag_syntax type=\"tag\" offset=\"4\"/>"},
        ReportCase{L"<a/><!-", false, L"<unterminated_tag_syntax type=\"tag\" offset=\"4\"/>"},
        ReportCase{L"<a></b></a>", false, L"<lone_end_tag tagname=\"b\" offset=\"3\"/>"},
        ReportCase{L"<a></b\"&'<></a>", false, L"<lone_end_tag tagname=\"b&quot;&amp;&apos;&lt;\" offset=\"3\"/>"},
        ReportCase{L"<a></A></a>", false, L"<lone_end_tag tagname=\"A\" offset=\"3\"/>"},
        ReportCase{L"<a><b></a>", false, L"<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"7\"/>"},
        ReportCase{L"<a x=1/>", false, L"<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"8\"/>"},
        ReportCase{L"<a><b><c>", false,
                   L"<unended_start_tag tagname=\"c\" offset=\"6\" offset2=\"9\"/>"
                   L"<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"9\"/>"
                   L"<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"9\"/><root_has_sibling/>"},
        ReportCase{L"<a/><b/>", false, L"<root_has_sibling/>"},
        ReportCase{L"<!-- only -->", false, L"<no_root_element/>"},
        ReportCase{L"just text", false, L"<no_root_element/>"},
        ReportCase{L"", false, L""}));

TEST(ParseReport, AbsentTextIsEmptyAndNotWellFormed)
{
    CXmlDocument document;
    EXPECT_FALSE(document.SetText(nullptr));
    EXPECT_EQ(document.GetResultReport(), L"");
    EXPECT_EQ(document.GetElementCount(), 1);
}

TEST(ParseReport, StopsAddingEntriesPast999Characters)
{
    std::wstring text = L"<a>";
    for (int i = 0; i < 200; ++i)
        text += L"<1>";
    text += L"</a>";
    CXmlDocument document;
    EXPECT_FALSE(document.SetText(text.c_str()));
    const std::wstring& report = document.GetResultReport();
    const std::size_t lastEntry = report.rfind(L'<');
    ASSERT_NE(lastEntry, std::wstring::npos);
    EXPECT_LE(lastEntry, 999u);
    EXPECT_GT(report.size(), 999u);
    std::size_t entries = 0;
    for (std::size_t at = report.find(L"<first_tag_syntax"); at != std::wstring::npos; at = report.find(L"<first", at + 1))
        ++entries;
    EXPECT_EQ(report.substr(lastEntry), L"<first_tag_syntax offset=\"" + std::to_wstring(3 * entries) + L"\"/>");
}

TEST(ParseReport, IsEmptiedByTheNextParse)
{
    CXmlDocument document;
    EXPECT_FALSE(document.SetText(L"<a></b></a>"));
    EXPECT_TRUE(document.SetText(L"<a/>"));
    EXPECT_EQ(document.GetResultReport(), L"");
}

}  // namespace
}  // namespace kelm
