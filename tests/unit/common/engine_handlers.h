// COM objects of the tests and the fuzzers: a SAX handler that records
// events as lines of text, reading every string it is given, and an
// in-memory stream.
#pragma once

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/msxml6/com.h"
#include "platform/msxml6/engine.h"
#include "platform/msxml6/msxml6.h"

namespace enginetest {

// Records content, lexical and error events as lines; `fail` decides per
// event line whether the callback answers with a failure. With `forward`
// set it passes the lexical events on instead: as a separate lexical
// handler it makes the reader take its general event path.
class Recorder final : public ISAXContentHandler,
                       public ISAXLexicalHandler,
                       public ISAXErrorHandler,
                       private mx::RefCounted {
public:
    static mx::ComPtr<Recorder> create() { return mx::ComPtr<Recorder>::adopt(new Recorder); }

    std::vector<std::string> events;
    size_t count = 0;  // of all events
    bool keep = true;  // false: count the events only
    std::function<HRESULT(std::string const&)> fail;
    mx::ComPtr<ISAXLexicalHandler> forward;
    HRESULT lastCode = S_OK;

    HRESULT QueryInterface(REFIID riid, void** out) override {
        *out = riid == IID_IUnknown || riid == IID_ISAXContentHandler ? static_cast<ISAXContentHandler*>(this)
               : riid == IID_ISAXLexicalHandler ? static_cast<void*>(static_cast<ISAXLexicalHandler*>(this))
               : riid == IID_ISAXErrorHandler   ? static_cast<void*>(static_cast<ISAXErrorHandler*>(this))
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
            a->getURI(i, &au, &aul), a->getLocalName(i, &al, &all), a->getQName(i, &aq, &aql),
                a->getValue(i, &av, &avl);
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
        return forward ? forward->startDTD(n, nl, p, pl, y, yl)
                       : log("startDTD " + s(n, nl) + "|" + s(p, pl) + "|" + s(y, yl));
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
    HRESULT comment(wchar_t const* c, int n) override {
        return forward ? forward->comment(c, n) : log("comment " + s(c, n));
    }

    HRESULT error(ISAXLocator*, wchar_t const* m, HRESULT) override { return log("error " + s(m, -1)); }
    HRESULT fatalError(ISAXLocator* l, wchar_t const* m, HRESULT code) override {
        int line = 0, column = 0;
        if (l) l->getLineNumber(&line), l->getColumnNumber(&column);
        lastCode = code;
        return log("fatal " + std::to_string(line) + ":" + std::to_string(column) + " " + s(m, -1));
    }
    HRESULT ignorableWarning(ISAXLocator*, wchar_t const* m, HRESULT) override { return log("warning " + s(m, -1)); }

    std::vector<std::string> matching(std::string const& prefix) const {
        std::vector<std::string> r;
        std::copy_if(events.begin(), events.end(), std::back_inserter(r),
                     [&](auto& e) { return e.rfind(prefix, 0) == 0; });
        return r;
    }

private:
    static std::string s(wchar_t const* p, int n) {
        return p ? mx::toUtf8(p, n < 0 ? wcslen(p) : static_cast<size_t>(n)) : "<null>";
    }
    HRESULT log(std::string line) {
        ++count;
        if (keep) events.push_back(line);
        return fail ? fail(line) : S_OK;
    }
};

// Reads from `data` at most `chunk` bytes per call; collects writes, and
// fails every write once `writeLimit` bytes would be exceeded.
class MemoryStream final : public mx::ComObject<IStream, IID_IStream> {
public:
    static mx::ComPtr<MemoryStream> create(std::string data = {}, size_t chunk = SIZE_MAX) {
        auto s = mx::ComPtr<MemoryStream>::adopt(new MemoryStream);
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

}  // namespace enginetest
