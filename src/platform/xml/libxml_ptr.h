// Owning pointers for the libxml2 objects this layer creates.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <memory>

#include "platform/system/free_with.h"

namespace quillbox::xml::detail {

using DocPtr = std::unique_ptr<xmlDoc, FreeWith<xmlFreeDoc>>;
using ParserCtxtPtr = std::unique_ptr<xmlParserCtxt, FreeWith<xmlFreeParserCtxt>>;
using XPathContextPtr = std::unique_ptr<xmlXPathContext, FreeWith<xmlXPathFreeContext>>;
using XPathObjectPtr = std::unique_ptr<xmlXPathObject, FreeWith<xmlXPathFreeObject>>;
using SaveCtxtPtr = std::unique_ptr<xmlSaveCtxt, FreeWith<xmlSaveClose>>;

}  // namespace quillbox::xml::detail
