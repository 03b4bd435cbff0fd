// Helpers for the SAX reader and XML writer tests: a handler that records
// every event as a line of text, in-memory streams and a canonical dump of
// a DOM tree for comparisons.
#pragma once

#include <libxml/tree.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/unit/common/engine_objects.h"
#include "tests/unit/common/engine_handlers.h"

namespace saxtest {

using namespace enginetest;

using Events = std::vector<std::string>;

// Event lines joined by "; ", for comparing a whole parse at once.
inline std::string joined(Events const& events) {
    std::string out;
    for (auto const& e : events) out += (out.empty() ? "" : "; ") + e;
    return out;
}

inline std::wstring wide(std::string const& s) { return mx::toWide(s.data(), s.size()); }
inline std::string narrow(std::wstring const& s) { return mx::toUtf8(s.data(), s.size()); }

inline ComPtr<ISAXXMLReader> newReader() {
    ComPtr<ISAXXMLReader> r;
    EXPECT_EQ(S_OK, mx::createSAXXMLReader(IID_ISAXXMLReader, reinterpret_cast<void**>(r.put())));
    return r;
}

inline ComPtr<IMXWriter> newWriter() {
    ComPtr<IMXWriter> w;
    EXPECT_EQ(S_OK, mx::createMXWriter(IID_IMXWriter, reinterpret_cast<void**>(w.put())));
    return w;
}

// Installs a recorder as every handler of the reader.
inline ComPtr<Recorder> record(ISAXXMLReader* reader) {
    auto r = Recorder::create();
    reader->putContentHandler(r.get());
    reader->putErrorHandler(r.get());
    reader->putProperty(SAX_PROPERTY_LEXICAL_HANDLER,
                        objectVariant(static_cast<ISAXContentHandler*>(r.get()), VT_UNKNOWN));
    return r;
}

inline VARIANT streamVariant(MemoryStream* s) { return objectVariant(static_cast<IStream*>(s), VT_UNKNOWN); }

inline HRESULT parseText(ISAXXMLReader* reader, std::wstring const& xml) {
    return reader->parse(textVariant(Arg(xml)));
}

inline HRESULT parseBytes(ISAXXMLReader* reader, std::string const& bytes, size_t chunk = SIZE_MAX) {
    return reader->parse(streamVariant(MemoryStream::create(bytes, chunk).get()));
}

inline HRESULT parseNode(ISAXXMLReader* reader, IUnknown* node) { return reader->parse(objectVariant(node)); }

// What the writer puts first by default.
inline std::wstring const kDecl = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// The writer's collected text (string output).
inline std::wstring outputOf(IMXWriter* writer) {
    VARIANT out{};
    if (FAILED(writer->get_output(&out)) || out.vt != VT_BSTR) return VariantClear(&out), L"<no output>";
    return take(out.bstrVal);
}

// A writer collecting a string, installed as the reader's content and
// lexical handler.
inline ComPtr<IMXWriter> writerFor(ISAXXMLReader* reader, bool indent, bool lexical = true) {
    auto writer = newWriter();
    writer->put_output(VARIANT{});
    writer->put_indent(indent ? VARIANT_TRUE : VARIANT_FALSE);
    reader->putContentHandler(query<ISAXContentHandler>(writer.get(), IID_ISAXContentHandler).get());
    if (lexical) reader->putProperty(SAX_PROPERTY_LEXICAL_HANDLER, objectVariant(writer.get()));
    return writer;
}

// Everything the loader keeps, one node per line, attributes sorted:
// equal dumps mean equal trees.
inline void dumpNode(xmlNodePtr n, int depth, std::string& out) {
    auto str = [](xmlChar const* s) { return std::string(s ? reinterpret_cast<char const*>(s) : ""); };
    std::string const pad(static_cast<size_t>(depth) * 2, ' ');
    char const* const kinds[] = {"T", "C", "!"};
    switch (n->type) {
    case XML_ELEMENT_NODE: {
        out += pad + "E {" + (n->ns ? str(n->ns->href) : "") + "}" + str(n->name);
        std::vector<std::string> attrs;
        for (xmlAttrPtr a = n->properties; a; a = a->next) {
            xmlChar* v = xmlNodeListGetString(n->doc, a->children, 1);
            attrs.push_back(" {" + (a->ns ? str(a->ns->href) : "") + "}" + str(a->name) + "=[" + str(v) + "]");
            xmlFree(v);
        }
        std::sort(attrs.begin(), attrs.end());
        for (auto const& a : attrs) out += a;
        out += "\n";
        for (xmlNodePtr c = n->children; c; c = c->next) dumpNode(c, depth + 1, out);
        break;
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
        out += pad +
               kinds[n->type == XML_TEXT_NODE      ? 0
                     : n->type == XML_COMMENT_NODE ? 2
                                                   : 1] +
               " [" + str(n->content) + "]\n";
        break;
    case XML_PI_NODE: out += pad + "? " + str(n->name) + " [" + str(n->content) + "]\n"; break;
    default: break;
    }
}

inline std::string dump(IUnknown* document) {
    xmlDocPtr doc = mx::engineDocOf(document);
    std::string out = doc ? "" : "<not a document>";
    for (xmlNodePtr c = doc ? doc->children : nullptr; c; c = c->next) dumpNode(c, 0, out);
    return out;
}

}  // namespace saxtest
