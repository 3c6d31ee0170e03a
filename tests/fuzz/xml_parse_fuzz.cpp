// Arbitrary bytes as a task document, used the way the task pipeline and the response
// builder use one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/xml/xml_document.h"

namespace {

using quillbox::xml::XmlDocument;
using quillbox::xml::XmlNode;

void Visit(const XmlNode& node, int depth) {
    Check(depth <= 256);
    for (XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
        const std::string local = child.LocalName();
        const std::string qualified = child.QualifiedName();
        Check(qualified.ends_with(local));
        (void)child.Text();
        if (child.IsElement()) {
            (void)child.Attribute("doc-id");
            (void)child.Attribute(qualified);
            Visit(child, depth + 1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<XmlDocument> doc = XmlDocument::Parse(text);
    if (!doc) {
        return 0;
    }
    XmlNode root = doc->Root();
    Check(root.IsElement());

    XmlNode task = root;
    if (root.LocalName() == "Envelope") {
        task = doc->SelectFirst("//task").FirstChild();
    }
    (void)task.LocalName();
    (void)task.Attribute("doc-id");
    (void)task.Attribute("response-url");
    (void)task.Attribute("xml:lang");
    for (const XmlNode& found : doc->SelectAll("//task | //data | //@*")) {
        (void)found.Text();
        (void)found.QualifiedName();
    }
    Visit(root, 1);

    // What is written reads back as the same document.
    const std::string written = doc->Serialize();
    std::unique_ptr<XmlDocument> again = XmlDocument::Parse(written);
    Check(again != nullptr);
    Check(again->Serialize() == written);

    // Build on it as on a response root, with text taken from the input.
    const std::string_view piece = text.substr(0, 64);
    root.SetAttribute("result", piece);
    root.SetAttribute(task.QualifiedName(), piece);
    XmlNode child = root.AppendElement("X509Certificate");
    child.SetAttribute("id", piece);
    const std::string_view tail = text.substr(size / 2);
    child.AppendText(piece);
    child.AppendText(tail);
    Check(child.Text().size() <= piece.size() + tail.size());
    task.AppendText(piece);
    task.SetText(piece);
    (void)doc->Serialize();
    return 0;
}
