// Owning pointers for the libxml2 objects this layer creates.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <memory>

namespace quillbox::xml::detail {

template <auto Free>
struct LibxmlDeleter {
    template <typename T>
    void operator()(T* object) const {
        Free(object);
    }
};

using DocPtr = std::unique_ptr<xmlDoc, LibxmlDeleter<xmlFreeDoc>>;
using ParserCtxtPtr = std::unique_ptr<xmlParserCtxt, LibxmlDeleter<xmlFreeParserCtxt>>;
using XPathContextPtr = std::unique_ptr<xmlXPathContext, LibxmlDeleter<xmlXPathFreeContext>>;
using XPathObjectPtr = std::unique_ptr<xmlXPathObject, LibxmlDeleter<xmlXPathFreeObject>>;
using SaveCtxtPtr = std::unique_ptr<xmlSaveCtxt, LibxmlDeleter<xmlSaveClose>>;

}  // namespace quillbox::xml::detail
