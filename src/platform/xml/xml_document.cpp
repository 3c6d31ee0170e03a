#include "platform/xml/xml_document.h"

#include <libxml/globals.h>
#include <libxml/xmlerror.h>
#include <libxml/xpathInternals.h>

#include <new>

#include "platform/xml/libxml_ptr.h"

namespace quillbox::xml {

namespace {

xmlDocPtr AsDoc(void* doc) {
    return static_cast<xmlDocPtr>(doc);
}

void IgnoreError(void* /*userData*/, xmlErrorPtr /*error*/) {}

void IgnoreMessage(void* /*context*/, const char* /*format*/, ...) {}

// libxml2 reports a few evaluation errors (an unknown function) through the thread's
// generic handler instead of the context's; this silences them for one call only.
class QuietGenericErrors {
  public:
    QuietGenericErrors() : handler_(xmlGenericError), context_(xmlGenericErrorContext) {
        xmlSetGenericErrorFunc(nullptr, IgnoreMessage);
    }
    ~QuietGenericErrors() { xmlSetGenericErrorFunc(context_, handler_); }
    QuietGenericErrors(const QuietGenericErrors&) = delete;
    QuietGenericErrors& operator=(const QuietGenericErrors&) = delete;

  private:
    xmlGenericErrorFunc handler_;
    void* context_;
};

// The nodes the expression selects, in document order. Namespace nodes are left out:
// libxml2 hands them out as copies that die with the result object.
template <typename Visit>
void ForEachSelected(xmlDocPtr doc, std::string_view xpath, Visit visit) {
    if (xpath.find('\0') != std::string_view::npos) {
        return;
    }
    const std::string expression(xpath);
    detail::XPathContextPtr context(xmlXPathNewContext(doc));
    if (!context) {
        throw std::bad_alloc();
    }
    context->error = IgnoreError;
    context->node = reinterpret_cast<xmlNodePtr>(doc);
    const QuietGenericErrors quiet;
    detail::XPathObjectPtr result(
        xmlXPathEval(reinterpret_cast<const xmlChar*>(expression.c_str()), context.get()));
    if (!result || result->type != XPATH_NODESET || result->nodesetval == nullptr) {
        return;
    }
    xmlNodeSetPtr nodes = result->nodesetval;
    xmlXPathNodeSetSort(nodes);
    for (int i = 0; i < nodes->nodeNr; ++i) {
        xmlNodePtr node = nodes->nodeTab[i];
        if (node != nullptr && node->type != XML_NAMESPACE_DECL && !visit(node)) {
            return;
        }
    }
}

struct SaveTarget {
    std::string text;
    bool failed = false;
};

int WriteToString(void* context, const char* buffer, int length) {
    auto* target = static_cast<SaveTarget*>(context);
    try {
        target->text.append(buffer, static_cast<std::size_t>(length));
    } catch (...) {
        target->failed = true;
        return -1;
    }
    return length;
}

}  // namespace

XmlDocument::~XmlDocument() {
    xmlFreeDoc(AsDoc(doc_));
}

XmlNode XmlDocument::Root() const {
    return XmlNode(xmlDocGetRootElement(AsDoc(doc_)));
}

XmlNode XmlDocument::SelectFirst(std::string_view xpath) const {
    XmlNode first;
    ForEachSelected(AsDoc(doc_), xpath, [&first](xmlNodePtr node) {
        first = XmlNode(node);
        return false;
    });
    return first;
}

std::vector<XmlNode> XmlDocument::SelectAll(std::string_view xpath) const {
    std::vector<XmlNode> nodes;
    ForEachSelected(AsDoc(doc_), xpath, [&nodes](xmlNodePtr node) {
        nodes.push_back(XmlNode(node));
        return true;
    });
    return nodes;
}

std::string XmlDocument::Serialize() const {
    SaveTarget target;
    // With an encoding named, libxml2 writes characters beyond ASCII as they are rather
    // than as character references.
    detail::SaveCtxtPtr save(
        xmlSaveToIO(WriteToString, nullptr, &target, "UTF-8", XML_SAVE_NO_DECL));
    if (!save) {
        throw std::bad_alloc();
    }
    const long written = xmlSaveDoc(save.get(), AsDoc(doc_));
    const int closed = xmlSaveClose(save.release());
    if (target.failed) {
        throw std::bad_alloc();
    }
    if (written < 0 || closed < 0) {
        return {};
    }
    // libxml2 ends every top-level node with a line break.
    if (!target.text.empty() && target.text.back() == '\n') {
        target.text.pop_back();
    }
    return std::move(target.text);
}

}  // namespace quillbox::xml
