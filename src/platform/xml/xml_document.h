// A small DOM over libxml2: what task and response documents need, nothing more.
// Text is UTF-8 throughout. Parsing never touches the network and never expands
// entities; a document with a document type declaration is refused, as the
// platform parser the task format was made for refuses DTDs.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::xml {

class XmlDocument;

// A non-owning handle to a node of an XmlDocument; valid while the document lives.
// A default-constructed (null) node answers every query with an empty result.
class XmlNode {
  public:
    XmlNode() = default;

    explicit operator bool() const { return node_ != nullptr; }
    bool IsElement() const;

    // The name without its namespace prefix ("Envelope" for "soap:Envelope").
    std::string LocalName() const;
    // The name as written, prefix included.
    std::string QualifiedName() const;

    // Attribute by its qualified name as written ("doc-id", "xml:lang", also a namespace
    // declaration such as "xmlns:p"); nullopt when absent or when this is not an element.
    std::optional<std::string> Attribute(std::string_view qualifiedName) const;
    // Adds the attribute or replaces its value; new attributes go after existing ones.
    // A prefix takes the namespace declared for it in scope. An invalid name is ignored.
    void SetAttribute(std::string_view name, std::string_view value);

    // All text below this node, concatenated in document order.
    std::string Text() const;
    // Replaces the children of this element with one text node (none for empty text);
    // handles to the old children become invalid.
    void SetText(std::string_view text);
    // Appends to the element's text without copying what is there already, so that
    // appending many chunks costs time in proportion to their total.
    void AppendText(std::string_view text);

    XmlNode FirstChild() const;  // any kind of node, or null
    XmlNode NextSibling() const;
    // Creates an element owned by this node's document and appends it as last child; null
    // when this is not an element or the name is not a valid qualified name.
    XmlNode AppendElement(std::string_view name);

  private:
    friend class XmlDocument;
    explicit XmlNode(void* node) : node_(node) {}
    void* node_ = nullptr;  // xmlNode*
};

class XmlDocument {
  public:
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Parses UTF-8 text, keeping white space (an encoding declaration in the text is
    // ignored: the text is already decoded). Returns null when the text is not
    // well-formed (namespaces included), or is refused (document type declaration,
    // limits exceeded: more than 256 levels of elements, 256 attributes on one element
    // or 256 namespace declarations in scope).
    static std::unique_ptr<XmlDocument> Parse(std::string_view text);

    XmlNode Root() const;  // document element, or null

    // XPath 1.0 over the whole document; the first match in document order, or null.
    // An invalid expression selects nothing.
    XmlNode SelectFirst(std::string_view xpath) const;
    std::vector<XmlNode> SelectAll(std::string_view xpath) const;

    // The document as text, without an XML declaration and without a trailing line break.
    std::string Serialize() const;

  private:
    explicit XmlDocument(void* doc) : doc_(doc) {}
    void* doc_ = nullptr;  // xmlDoc*
};

}  // namespace quillbox::xml
