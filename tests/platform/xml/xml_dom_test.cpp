// Reading, changing and writing parsed documents.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/xml/xml_document.h"

namespace quillbox::xml {
namespace {

using testing::ElementsAre;

std::unique_ptr<XmlDocument> Load(std::string_view text) {
    auto doc = XmlDocument::Parse(text);
    EXPECT_TRUE(doc) << text;
    return doc;
}

std::vector<std::string> Ids(const std::vector<XmlNode>& nodes) {
    std::vector<std::string> ids;
    for (const XmlNode& node : nodes) {
        ids.push_back(node.Attribute("id").value_or("-"));
    }
    return ids;
}

TEST(XmlNode, AttributesByQualifiedName) {
    auto doc = Load("<a x='1' p:x='2' xml:lang='cs' doc-id='' xmlns:p='urn:p'>t</a>");
    XmlNode root = doc->Root();
    EXPECT_EQ(root.Attribute("x"), "1");
    EXPECT_EQ(root.Attribute("p:x"), "2");
    EXPECT_EQ(root.Attribute("xml:lang"), "cs");
    EXPECT_EQ(root.Attribute("doc-id"), "");
    EXPECT_EQ(root.Attribute("xmlns:p"), "urn:p");
    for (std::string_view absent : {"lang", "q:x", "p:", "X", "xmlns"}) {
        EXPECT_EQ(root.Attribute(absent), std::nullopt) << absent;
    }
    EXPECT_EQ(root.FirstChild().Attribute("x"), std::nullopt);  // a text node
    EXPECT_EQ(XmlNode().Attribute("x"), std::nullopt);
}

TEST(XmlNode, TextJoinsDescendantsInOrderWithoutCommentsOrInstructions) {
    auto doc = Load("<a>1<b>2<c>3</c><!--no--></b><?pi no?><![CDATA[4&]]>&lt;5&#x159;</a>");
    EXPECT_EQ(doc->Root().Text(), "1234&<5ř");
    EXPECT_EQ(XmlNode().Text(), "");
}

TEST(XmlNode, SetAttributeAndSetText) {
    auto doc = Load("<r a='1' xmlns:p='urn:p' p:b='2'/>");
    XmlNode root = doc->Root();
    root.SetAttribute("a", "one");
    root.SetAttribute("c", "x<y&\"z'");
    root.SetAttribute("p:b", "two");
    root.SetAttribute("p:d", "3");
    root.SetAttribute("not valid", "4");
    EXPECT_EQ(doc->Serialize(),
              "<r xmlns:p=\"urn:p\" a=\"one\" p:b=\"two\" c=\"x&lt;y&amp;&quot;z'\" p:d=\"3\"/>");
    root.SetAttribute("xmlns:p", "urn:other");
    EXPECT_EQ(root.Attribute("xmlns:p"), "urn:other");

    // SetText replaces the children and takes its text literally.
    doc = Load("<r><a>old<b/>tail</a></r>");
    XmlNode a = doc->Root().FirstChild();
    a.SetText("&amp; <new>");
    EXPECT_EQ(a.Text(), "&amp; <new>");
    EXPECT_FALSE(a.FirstChild().NextSibling());
    EXPECT_EQ(doc->Serialize(), "<r><a>&amp;amp; &lt;new&gt;</a></r>");
    a.SetText("");
    EXPECT_EQ(doc->Serialize(), "<r><a/></r>");
}

TEST(XmlNode, AppendTextJoinsIntoOneTextNode) {
    // Texts the parser made; short ones belong to the document's dictionary.
    auto doc = Load("<r><a>xy</a><b>\n  </b><c>a longer text that the parser allocated</c></r>");
    for (XmlNode node = doc->Root().FirstChild(); node; node = node.NextSibling()) {
        const std::string before = node.Text();
        node.AppendText("+1");
        node.AppendText("+2");
        EXPECT_EQ(node.Text(), before + "+1+2");
        EXPECT_FALSE(node.FirstChild().NextSibling());
    }
    XmlNode a = doc->Root().FirstChild();
    a.AppendElement("e");
    a.AppendText("after");
    EXPECT_EQ(doc->Serialize(),
              "<r><a>xy+1+2<e/>after</a><b>\n  +1+2</b>"
              "<c>a longer text that the parser allocated+1+2</c></r>");

    // An attachment is appended in chunks of 21588 Base64 characters (16191 bytes).
    XmlNode c = a.NextSibling().NextSibling();
    std::string whole = c.Text();
    std::string chunk(21588, 'A');
    for (int i = 0; i < 200; ++i) {
        chunk[i % chunk.size()] = static_cast<char>('a' + i % 26);
        c.AppendText(chunk);
        whole += chunk;
    }
    EXPECT_EQ(c.Text(), whole);
    EXPECT_FALSE(c.FirstChild().NextSibling());
}

TEST(XmlNode, BuildResponseFromEmptyRoot) {
    auto doc = Load("<?xml version=\"1.0\"?>\n<signresponse xmlns:p='urn:p'></signresponse>");
    XmlNode root = doc->Root();
    root.SetAttribute("result", "ok");
    root.AppendElement("SignatureValue").SetText("c2ln");
    XmlNode certificate = root.AppendElement("X509Certificate");
    certificate.SetAttribute("id", "aWQ=");
    certificate.SetText("Y2VydA==");
    EXPECT_FALSE(root.AppendElement("bad name"));
    EXPECT_EQ(root.AppendElement("p:x").LocalName(), "x");
    EXPECT_FALSE(XmlNode().AppendElement("x"));
    EXPECT_EQ(doc->Serialize(),
              "<signresponse xmlns:p=\"urn:p\" result=\"ok\"><SignatureValue>c2ln</SignatureValue>"
              "<X509Certificate id=\"aWQ=\">Y2VydA==</X509Certificate><p:x/></signresponse>");
}

TEST(XmlXPath, FirstMatchInDocumentOrderAndAllMatches) {
    auto doc = Load("<r><a id='1'><a id='2'/></a><b id='3'/><a id='4'/></r>");
    EXPECT_EQ(doc->SelectFirst("//a").Attribute("id"), "1");
    EXPECT_THAT(Ids(doc->SelectAll("//a")), ElementsAre("1", "2", "4"));
    EXPECT_THAT(Ids(doc->SelectAll("//a[@id='4'] | //b")), ElementsAre("3", "4"));
    EXPECT_EQ(doc->SelectFirst("r/b").Attribute("id"), "3");  // relative to the document
    EXPECT_FALSE(doc->SelectFirst("//missing"));

    // "task" matches only unprefixed names without a namespace.
    doc = Load(
        "<Envelope xmlns:p='urn:p'><p:task id='1'/><task xmlns='urn:d' id='2'/>"
        "<Task id='3'/><task id='4'><sign/></task></Envelope>");
    EXPECT_THAT(Ids(doc->SelectAll("//task")), ElementsAre("4"));
}

TEST(XmlXPath, OtherResultsAndInvalidExpressionsSelectNothingQuietly) {
    auto doc = Load("<r xmlns:p='urn:p'><a id='1'/></r>");
    testing::internal::CaptureStderr();
    for (std::string_view expression : std::initializer_list<std::string_view>{
             "", "//a[", "count(//a)", "true()", "//p:a", "//x:a", "unknown()", "))",
             std::string_view("//a\0//b", 7)}) {
        EXPECT_FALSE(doc->SelectFirst(expression)) << expression;
        EXPECT_TRUE(doc->SelectAll(expression).empty()) << expression;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    // Attribute nodes are selected, namespace nodes are not.
    doc = Load("<r xmlns:p='urn:p'><a id='1'/><a id='2'/></r>");
    std::vector<std::string> ids;
    for (const XmlNode& node : doc->SelectAll("//@id")) {
        ids.push_back(node.QualifiedName() + "=" + node.Text());
    }
    EXPECT_THAT(ids, ElementsAre("id=1", "id=2"));
    // libxml2 returns namespace nodes as copies that die with the result.
    EXPECT_TRUE(doc->SelectAll("//namespace::*").empty());
    EXPECT_EQ(doc->SelectFirst("//namespace::* | //a").Attribute("id"), "1");
}

TEST(XmlSerialize, KeepsUtf8CharactersAndRoundTrips) {
    const std::string czech = "Příliš žluťoučký kůň";
    auto doc = Load("<response></response>");
    doc->Root().SetAttribute("name", czech);
    doc->Root().SetText(czech);
    EXPECT_EQ(doc->Serialize(), "<response name=\"" + czech + "\">" + czech + "</response>");
    doc = Load("<r n='" + czech + "'>&#x1F600;</r>");
    EXPECT_EQ(doc->Serialize(), "<r n=\"" + czech + "\">\xF0\x9F\x98\x80</r>");

    const std::string text =
        "<!-- head -->\n<?app x?>\n<r a=\"1\">\n\t<b>x &amp; y &lt; z</b><![CDATA[<>]]></r>\n"
        "<!-- tail -->";
    EXPECT_EQ(Load(text)->Serialize(), text);
    // Characters the parser would change on the way back in come out as references.
    auto special = Load("<r a='&#9;&#10;&#13;'>&#13;</r>");
    EXPECT_EQ(special->Serialize(), "<r a=\"&#9;&#10;&#13;\">&#13;</r>");
}

}  // namespace
}  // namespace quillbox::xml
