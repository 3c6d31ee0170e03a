// XmlDocument::Parse: libxml2 with everything a hostile task document could abuse
// switched off or capped.
#include <libxml/SAX2.h>
#include <libxml/parser.h>

#include <climits>
#include <cstddef>
#include <mutex>
#include <new>

#include "platform/xml/libxml_ptr.h"
#include "platform/xml/markup_scan.h"
#include "platform/xml/xml_document.h"

namespace quillbox::xml {

namespace {

// Far beyond what a task document needs. libxml2 2.9 compares each attribute of a tag
// with all earlier ones and looks each prefix up through every declaration in scope, so
// without these caps a few megabytes of text keep it busy for minutes. The depth cap is
// libxml2's own default, which XML_PARSE_HUGE lifts.
constexpr std::size_t kMaxAttributesPerElement = 256;
constexpr int kMaxDepth = 256;
constexpr int kMaxNamespacesInScope = 256;

struct ParseState {
    startElementNsSAX2Func startElement = nullptr;
    bool refused = false;
};

ParseState& StateOf(xmlParserCtxtPtr ctxt) {
    return *static_cast<ParseState*>(ctxt->_private);
}

void Refuse(xmlParserCtxtPtr ctxt) {
    StateOf(ctxt).refused = true;
    xmlStopParser(ctxt);
}

void IgnoreError(void* /*userData*/, xmlErrorPtr /*error*/) {}

// Any document type declaration, well-formed or not: DTDs are not accepted, and stopping
// here means no entity is declared, no external subset fetched and no internal subset read.
void OnDocumentType(void* context, const xmlChar* /*name*/, const xmlChar* /*externalId*/,
                    const xmlChar* /*systemId*/) {
    Refuse(static_cast<xmlParserCtxtPtr>(context));
}

// Without recovery mode libxml2 goes on parsing after an error with these callbacks
// switched off: through a malformed document type declaration into its internal subset,
// whose default attributes it then adds to every element. In recovery mode the callbacks
// still come, and the first one after an error stops the parser. nameNr counts the open
// ancestors of this element.
void OnStartElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                    const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                    int attributeCount, int defaultedCount, const xmlChar** attributes) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    if (ctxt->wellFormed == 0 || ctxt->nsWellFormed == 0 || ctxt->nameNr >= kMaxDepth ||
        ctxt->nsNr / 2 > kMaxNamespacesInScope) {
        Refuse(ctxt);
        return;
    }
    StateOf(ctxt).startElement(context, localName, prefix, uri, namespaceCount, namespaces,
                               attributeCount, defaultedCount, attributes);
}

void InitLibxml() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

}  // namespace

std::unique_ptr<XmlDocument> XmlDocument::Parse(std::string_view text) {
    // libxml2 takes the length as an int and ends the input at a NUL character, which
    // would let anything after it through unseen.
    if (text.size() > static_cast<std::size_t>(INT_MAX) ||
        text.find('\0') != std::string_view::npos ||
        detail::MostAttributesInOneTag(text) > kMaxAttributesPerElement) {
        return nullptr;
    }
    InitLibxml();

    ParseState state;
    detail::ParserCtxtPtr ctxt(xmlNewParserCtxt());
    if (!ctxt || ctxt->sax == nullptr) {
        throw std::bad_alloc();
    }
    state.startElement = ctxt->sax->startElementNs;
    ctxt->_private = &state;
    ctxt->sax->serror = IgnoreError;
    ctxt->sax->internalSubset = OnDocumentType;
    ctxt->sax->startElementNs = OnStartElement;

    // XML_PARSE_HUGE lifts the 10 MB cap on a single text node (a Base64 payload) and
    // the depth cap; the depth cap is restored above, and with DTDs refused no entity can
    // multiply the input, so memory stays proportional to the text.
    const int options = XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_IGNORE_ENC | XML_PARSE_RECOVER;
    detail::DocPtr doc(xmlCtxtReadMemory(ctxt.get(), text.data(), static_cast<int>(text.size()),
                                         nullptr, "UTF-8", options));
    if (!doc || state.refused || ctxt->wellFormed == 0 || ctxt->nsWellFormed == 0 ||
        xmlDocGetRootElement(doc.get()) == nullptr) {
        return nullptr;
    }
    std::unique_ptr<XmlDocument> result(new XmlDocument(nullptr));
    result->doc_ = doc.release();
    return result;
}

}  // namespace quillbox::xml
