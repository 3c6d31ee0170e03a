#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/xml/xml_document.h"

namespace quillbox::xml {

namespace {

xmlNodePtr AsNode(void* node) {
    return static_cast<xmlNodePtr>(node);
}

xmlNodePtr AsElement(void* node) {
    xmlNodePtr candidate = AsNode(node);
    return candidate != nullptr && candidate->type == XML_ELEMENT_NODE ? candidate : nullptr;
}

const xmlChar* Xml(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

std::string ToString(const xmlChar* text) {
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

// libxml2 strings end at a NUL character, which XML cannot carry anyway.
std::string_view UpToNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

struct QName {
    std::string prefix;  // empty when the name has none
    std::string local;
};

QName SplitQName(const std::string& name) {
    const auto colon = name.find(':');
    if (colon == std::string::npos) {
        return {{}, name};
    }
    return {name.substr(0, colon), name.substr(colon + 1)};
}

// A name that would come out of serialisation as well-formed markup.
bool IsValidQName(std::string_view name) {
    return name.find('\0') == std::string_view::npos &&
           xmlValidateQName(Xml(std::string(name)), 0) == 0;
}

bool QualifiedNameIs(const xmlChar* prefix, const xmlChar* name, std::string_view wanted) {
    const std::string_view local(reinterpret_cast<const char*>(name));
    if (prefix == nullptr) {
        return wanted == local;
    }
    const std::string_view prefixText(reinterpret_cast<const char*>(prefix));
    return wanted.size() == prefixText.size() + 1 + local.size() &&
           wanted.starts_with(prefixText) && wanted[prefixText.size()] == ':' &&
           wanted.ends_with(local);
}

const xmlChar* PrefixOf(const xmlNs* ns) {
    return ns != nullptr ? ns->prefix : nullptr;
}

bool SamePrefix(const xmlChar* prefix, const std::string& wanted) {
    return prefix == nullptr ? wanted.empty()
                             : std::string_view(reinterpret_cast<const char*>(prefix)) == wanted;
}

xmlAttrPtr FindAttribute(xmlNodePtr element, std::string_view qualifiedName) {
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr;
         attribute = attribute->next) {
        if (QualifiedNameIs(PrefixOf(attribute->ns), attribute->name, qualifiedName)) {
            return attribute;
        }
    }
    return nullptr;
}

// Namespace declarations are written as attributes ("xmlns", "xmlns:p"); libxml2 keeps
// them apart. Returns whether the name is one, and its prefix.
bool IsNamespaceDeclaration(const QName& name, std::string& declaredPrefix) {
    if (name.prefix.empty() && name.local == "xmlns") {
        declaredPrefix.clear();
        return true;
    }
    if (name.prefix == "xmlns") {
        declaredPrefix = name.local;
        return true;
    }
    return false;
}

xmlNsPtr FindDeclaration(xmlNodePtr element, const std::string& prefix) {
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next) {
        if (SamePrefix(ns->prefix, prefix)) {
            return ns;
        }
    }
    return nullptr;
}

// Text and CDATA below `top`, in document order, without recursion.
void AppendDescendantText(xmlNodePtr top, std::string& out) {
    xmlNodePtr current = top->children;
    while (current != nullptr) {
        if ((current->type == XML_TEXT_NODE || current->type == XML_CDATA_SECTION_NODE) &&
            current->content != nullptr) {
            out.append(reinterpret_cast<const char*>(current->content));
        } else if (current->type == XML_ELEMENT_NODE && current->children != nullptr) {
            current = current->children;
            continue;
        }
        while (current->next == nullptr) {
            current = current->parent;
            if (current == nullptr || current == top) {
                return;
            }
        }
        current = current->next;
    }
}

void ReplaceAttributeValue(xmlAttrPtr attribute, const std::string& value) {
    xmlNodePtr text = xmlNewDocText(attribute->doc, Xml(value));
    if (text == nullptr) {
        throw std::bad_alloc();
    }
    // An ID is registered under its value; keep the document's ID table in step.
    const bool isId = attribute->atype == XML_ATTRIBUTE_ID;
    if (isId) {
        xmlRemoveID(attribute->doc, attribute);
    }
    xmlFreeNodeList(attribute->children);
    text->parent = reinterpret_cast<xmlNodePtr>(attribute);
    attribute->children = text;
    attribute->last = text;
    if (isId) {
        xmlAddID(nullptr, attribute->doc, Xml(value), attribute);
    }
}

// Appending to a text node. libxml2 appends with strlen and an exact realloc, so many
// chunks cost time quadratic in the total. A text node filled here instead holds a buffer
// of Capacity(length) bytes and keeps its length in the node's application field
// (_private, unused otherwise); a text node that libxml2 made has a null _private and
// is copied into such a buffer once. Only this layer changes text nodes, a node whose
// text is replaced is a new node, and no text node is ever added next to another (which
// libxml2 would merge behind the record's back), so the recorded length cannot go stale.
std::size_t Capacity(std::size_t length) {
    return std::bit_ceil(std::max<std::size_t>(length + 1, 64));
}

void AppendToTextNode(xmlNodePtr text, std::string_view more) {
    std::size_t length = reinterpret_cast<std::uintptr_t>(text->_private);
    if (more.size() > (SIZE_MAX >> 2) - length) {
        throw std::length_error("text too long");
    }
    xmlChar* buffer = text->content;
    if (text->_private == nullptr) {
        const xmlChar* old = text->content;
        length = old != nullptr ? std::strlen(reinterpret_cast<const char*>(old)) : 0;
        buffer = static_cast<xmlChar*>(xmlMalloc(Capacity(length + more.size())));
        if (buffer == nullptr) {
            throw std::bad_alloc();
        }
        if (length != 0) {
            std::memcpy(buffer, old, length);
        }
        // Short texts may live inside the node itself or in the document's dictionary.
        const bool shared = old == reinterpret_cast<const xmlChar*>(&text->properties) ||
                            (text->doc != nullptr && text->doc->dict != nullptr &&
                             xmlDictOwns(text->doc->dict, old) == 1);
        if (old != nullptr && !shared) {
            xmlFree(const_cast<xmlChar*>(old));
        }
        text->content = buffer;
        text->properties = nullptr;
        text->nsDef = nullptr;
    } else if (Capacity(length + more.size()) > Capacity(length)) {
        buffer = static_cast<xmlChar*>(xmlRealloc(buffer, Capacity(length + more.size())));
        if (buffer == nullptr) {
            throw std::bad_alloc();
        }
        text->content = buffer;
    }
    std::memcpy(buffer + length, more.data(), more.size());
    length += more.size();
    buffer[length] = 0;
    text->_private = reinterpret_cast<void*>(static_cast<std::uintptr_t>(length));
}

}  // namespace

bool XmlNode::IsElement() const {
    return AsElement(node_) != nullptr;
}

std::string XmlNode::LocalName() const {
    xmlNodePtr node = AsNode(node_);
    if (node == nullptr) {
        return {};
    }
    switch (node->type) {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE: {
            std::string name = ToString(node->name);
            // A name built with a prefix that nothing declares keeps the prefix in it.
            const auto colon = name.find(':');
            if (node->ns == nullptr && colon != std::string::npos) {
                name.erase(0, colon + 1);
            }
            return name;
        }
        case XML_PI_NODE:
            return ToString(node->name);
        default:
            return {};
    }
}

std::string XmlNode::QualifiedName() const {
    xmlNodePtr node = AsNode(node_);
    if (node == nullptr) {
        return {};
    }
    switch (node->type) {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE:
            if (node->ns != nullptr && node->ns->prefix != nullptr) {
                return ToString(node->ns->prefix) + ":" + ToString(node->name);
            }
            return ToString(node->name);
        case XML_PI_NODE:
            return ToString(node->name);
        default:
            return {};
    }
}

std::optional<std::string> XmlNode::Attribute(std::string_view qualifiedName) const {
    xmlNodePtr element = AsElement(node_);
    if (element == nullptr) {
        return std::nullopt;
    }
    if (xmlAttrPtr attribute = FindAttribute(element, qualifiedName)) {
        std::string value;
        AppendDescendantText(reinterpret_cast<xmlNodePtr>(attribute), value);
        return value;
    }
    std::string prefix;
    if (IsNamespaceDeclaration(SplitQName(std::string(qualifiedName)), prefix)) {
        if (xmlNsPtr ns = FindDeclaration(element, prefix)) {
            return ToString(ns->href);
        }
    }
    return std::nullopt;
}

void XmlNode::SetAttribute(std::string_view name, std::string_view value) {
    xmlNodePtr element = AsElement(node_);
    if (element == nullptr || !IsValidQName(name)) {
        return;
    }
    const std::string qualifiedName(name);
    const std::string text(UpToNul(value));
    const QName parts = SplitQName(qualifiedName);

    std::string declaredPrefix;
    if (IsNamespaceDeclaration(parts, declaredPrefix)) {
        if (xmlNsPtr ns = FindDeclaration(element, declaredPrefix)) {
            xmlChar* href = xmlStrdup(Xml(text));
            if (href == nullptr) {
                throw std::bad_alloc();
            }
            xmlFree(const_cast<xmlChar*>(ns->href));
            ns->href = href;
        } else {
            // Refused by libxml2 only for the reserved prefixes, which stay as they are.
            xmlNewNs(element, Xml(text), declaredPrefix.empty() ? nullptr : Xml(declaredPrefix));
        }
        return;
    }
    if (xmlAttrPtr attribute = FindAttribute(element, qualifiedName)) {
        ReplaceAttributeValue(attribute, text);
        return;
    }
    xmlNsPtr ns =
        parts.prefix.empty() ? nullptr : xmlSearchNs(element->doc, element, Xml(parts.prefix));
    xmlAttrPtr created = ns != nullptr ? xmlNewNsProp(element, ns, Xml(parts.local), Xml(text))
                                       : xmlNewProp(element, Xml(qualifiedName), Xml(text));
    if (created == nullptr) {
        throw std::bad_alloc();
    }
}

std::string XmlNode::Text() const {
    xmlNodePtr node = AsNode(node_);
    std::string text;
    if (node == nullptr) {
        return text;
    }
    switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
            return ToString(node->content);
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE:
        case XML_DOCUMENT_NODE:
            AppendDescendantText(node, text);
            return text;
        default:
            return text;
    }
}

void XmlNode::SetText(std::string_view text) {
    xmlNodePtr element = AsElement(node_);
    if (element == nullptr) {
        return;
    }
    xmlNodePtr children = element->children;
    element->children = nullptr;
    element->last = nullptr;
    xmlFreeNodeList(children);
    AppendText(text);
}

void XmlNode::AppendText(std::string_view text) {
    xmlNodePtr element = AsElement(node_);
    text = UpToNul(text);
    if (element == nullptr || text.empty()) {
        return;
    }
    xmlNodePtr last = element->last;
    if (last == nullptr || last->type != XML_TEXT_NODE) {
        last = xmlNewDocText(element->doc, nullptr);
        if (last == nullptr) {
            throw std::bad_alloc();
        }
        xmlAddChild(element, last);
    }
    AppendToTextNode(last, text);
}

XmlNode XmlNode::FirstChild() const {
    xmlNodePtr node = AsNode(node_);
    if (node == nullptr) {
        return {};
    }
    switch (node->type) {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE:
        case XML_DOCUMENT_NODE:
            return XmlNode(node->children);
        default:
            return {};
    }
}

XmlNode XmlNode::NextSibling() const {
    xmlNodePtr node = AsNode(node_);
    return node != nullptr ? XmlNode(node->next) : XmlNode();
}

XmlNode XmlNode::AppendElement(std::string_view name) {
    xmlNodePtr parent = AsElement(node_);
    if (parent == nullptr || !IsValidQName(name)) {
        return {};
    }
    const std::string qualifiedName(name);
    const QName parts = SplitQName(qualifiedName);
    xmlNsPtr ns =
        parts.prefix.empty() ? nullptr : xmlSearchNs(parent->doc, parent, Xml(parts.prefix));
    xmlNodePtr child = ns != nullptr
                           ? xmlNewDocNode(parent->doc, ns, Xml(parts.local), nullptr)
                           : xmlNewDocNode(parent->doc, nullptr, Xml(qualifiedName), nullptr);
    if (child == nullptr) {
        throw std::bad_alloc();
    }
    xmlAddChild(parent, child);
    return XmlNode(child);
}

}  // namespace quillbox::xml
