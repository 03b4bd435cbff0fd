// Helpers for the SAX reader and XML writer tests: a handler that records
// every event as a line of text, in-memory streams and a canonical dump of
// a DOM tree for comparisons.
#pragma once

#include <libxml/tree.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "tests/unit/common/engine_objects.h"

namespace saxtest {

using namespace enginetest;
using Events = std::vector<std::string>;

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

// Records content, lexical and error events as lines; `fail` decides per
// event line whether the callback answers with a failure. With `forward`
// set it passes the lexical events on instead: as a separate lexical
// handler it makes the reader take its general event path.
class Recorder final : public ISAXContentHandler,
                       public ISAXLexicalHandler,
                       public ISAXErrorHandler,
                       private mx::RefCounted {
public:
    static ComPtr<Recorder> create() { return ComPtr<Recorder>::adopt(new Recorder); }

    Events events;
    std::function<HRESULT(std::string const&)> fail;
    ComPtr<ISAXLexicalHandler> forward;
    HRESULT lastCode = S_OK;

    HRESULT QueryInterface(REFIID riid, void** out) override {
        *out = riid == IID_IUnknown || riid == IID_ISAXContentHandler ? static_cast<ISAXContentHandler*>(this)
               : riid == IID_ISAXLexicalHandler                       ? static_cast<void*>(static_cast<ISAXLexicalHandler*>(this))
               : riid == IID_ISAXErrorHandler                         ? static_cast<void*>(static_cast<ISAXErrorHandler*>(this))
                                                                      : nullptr;
        return *out ? AddRef(), S_OK : E_NOINTERFACE;
    }
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }

    HRESULT putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT startDocument() override { return log("startDocument"); }
    HRESULT endDocument() override { return log("endDocument"); }
    HRESULT startPrefixMapping(wchar_t const* p, int pl, wchar_t const* u, int ul) override {
        return log("prefix " + s(p, pl) + "=" + s(u, ul));
    }
    HRESULT endPrefixMapping(wchar_t const* p, int pl) override { return log("endPrefix " + s(p, pl)); }
    HRESULT startElement(wchar_t const* u, int ul, wchar_t const* l, int ll, wchar_t const* q, int ql,
                         ISAXAttributes* a) override {
        std::string line = "start " + s(u, ul) + "|" + s(l, ll) + "|" + s(q, ql);
        int n = 0;
        if (a) a->getLength(&n);
        for (int i = 0; i < n; ++i) {
            wchar_t const *au, *al, *aq, *av;
            int aul, all, aql, avl;
            a->getURI(i, &au, &aul), a->getLocalName(i, &al, &all), a->getQName(i, &aq, &aql), a->getValue(i, &av, &avl);
            line += " @" + s(au, aul) + "|" + s(al, all) + "|" + s(aq, aql) + "=" + s(av, avl);
        }
        return log(line);
    }
    HRESULT endElement(wchar_t const* u, int ul, wchar_t const* l, int ll, wchar_t const* q, int ql) override {
        return log("end " + s(u, ul) + "|" + s(l, ll) + "|" + s(q, ql));
    }
    HRESULT characters(wchar_t const* c, int n) override { return log("chars " + s(c, n)); }
    HRESULT ignorableWhitespace(wchar_t const* c, int n) override { return log("ignorable " + s(c, n)); }
    HRESULT processingInstruction(wchar_t const* t, int tl, wchar_t const* d, int dl) override {
        return log("pi " + s(t, tl) + "|" + s(d, dl));
    }
    HRESULT skippedEntity(wchar_t const* n, int l) override { return log("skipped " + s(n, l)); }

    HRESULT startDTD(wchar_t const* n, int nl, wchar_t const* p, int pl, wchar_t const* y, int yl) override {
        return forward ? forward->startDTD(n, nl, p, pl, y, yl) : log("startDTD " + s(n, nl) + "|" + s(p, pl) + "|" + s(y, yl));
    }
    HRESULT endDTD() override { return forward ? forward->endDTD() : log("endDTD"); }
    HRESULT startEntity(wchar_t const* n, int l) override {
        return forward ? forward->startEntity(n, l) : log("startEntity " + s(n, l));
    }
    HRESULT endEntity(wchar_t const* n, int l) override {
        return forward ? forward->endEntity(n, l) : log("endEntity " + s(n, l));
    }
    HRESULT startCDATA() override { return forward ? forward->startCDATA() : log("startCDATA"); }
    HRESULT endCDATA() override { return forward ? forward->endCDATA() : log("endCDATA"); }
    HRESULT comment(wchar_t const* c, int n) override { return forward ? forward->comment(c, n) : log("comment " + s(c, n)); }

    HRESULT error(ISAXLocator*, wchar_t const* m, HRESULT) override { return log("error " + s(m, -1)); }
    HRESULT fatalError(ISAXLocator* l, wchar_t const* m, HRESULT code) override {
        int line = 0, column = 0;
        l->getLineNumber(&line), l->getColumnNumber(&column);
        lastCode = code;
        return log("fatal " + std::to_string(line) + ":" + std::to_string(column) + " " + s(m, -1));
    }
    HRESULT ignorableWarning(ISAXLocator*, wchar_t const* m, HRESULT) override { return log("warning " + s(m, -1)); }

    Events matching(std::string const& prefix) const {
        Events r;
        std::copy_if(events.begin(), events.end(), std::back_inserter(r), [&](auto& e) { return e.rfind(prefix, 0) == 0; });
        return r;
    }

private:
    static std::string s(wchar_t const* p, int n) {
        return p ? narrow(std::wstring(p, n < 0 ? wcslen(p) : static_cast<size_t>(n))) : "<null>";
    }
    HRESULT log(std::string line) {
        events.push_back(line);
        return fail ? fail(line) : S_OK;
    }
};

// Installs a recorder as every handler of the reader.
inline ComPtr<Recorder> record(ISAXXMLReader* reader) {
    auto r = Recorder::create();
    reader->putContentHandler(r.get());
    reader->putErrorHandler(r.get());
    reader->putProperty(SAX_PROPERTY_LEXICAL_HANDLER, objectVariant(static_cast<ISAXContentHandler*>(r.get()), VT_UNKNOWN));
    return r;
}

// Reads from `data` at most `chunk` bytes per call; collects writes, and
// fails every write once `writeLimit` bytes would be exceeded.
class MemoryStream final : public mx::ComObject<IStream, IID_IStream> {
public:
    static ComPtr<MemoryStream> create(std::string data = {}, size_t chunk = SIZE_MAX) {
        auto s = ComPtr<MemoryStream>::adopt(new MemoryStream);
        s->data = std::move(data), s->chunk = chunk;
        return s;
    }

    std::string data;
    size_t chunk = SIZE_MAX;
    size_t writeLimit = SIZE_MAX;

    HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
        size_t n = std::min({static_cast<size_t>(size), chunk, data.size() - pos_});
        memcpy(buffer, data.data() + pos_, n);
        pos_ += n;
        if (read) *read = static_cast<ULONG>(n);
        return S_OK;
    }
    HRESULT Write(void const* buffer, ULONG size, ULONG* written) override {
        bool const full = data.size() + size > writeLimit;
        if (!full) data.append(static_cast<char const*>(buffer), size);
        if (written) *written = full ? 0 : size;
        return full ? STG_E_MEDIUMFULL : S_OK;
    }

private:
    size_t pos_ = 0;
};

inline VARIANT streamVariant(MemoryStream* s) { return objectVariant(static_cast<IStream*>(s), VT_UNKNOWN); }

inline HRESULT parseText(ISAXXMLReader* reader, std::wstring const& xml) { return reader->parse(textVariant(Arg(xml))); }

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
    case XML_TEXT_NODE: case XML_CDATA_SECTION_NODE: case XML_COMMENT_NODE:
        out += pad + kinds[n->type == XML_TEXT_NODE ? 0 : n->type == XML_COMMENT_NODE ? 2 : 1] + " [" + str(n->content) + "]\n";
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
