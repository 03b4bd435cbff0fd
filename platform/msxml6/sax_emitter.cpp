// Handler calls of the SAX reader, and its locator.
#include <libxml/SAX2.h>

#include <new>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/sax_reader.h"

namespace mx {

ComPtr<SaxLocator> SaxLocator::create() { return ComPtr<SaxLocator>::adopt(new (std::nothrow) SaxLocator); }

void SaxLocator::attach(xmlParserCtxtPtr ctxt) {
    ctxt_ = ctxt;
    pinned_ = false;
}

void SaxLocator::detach() {
    if (ctxt_ && !pinned_) {
        line_ = xmlSAX2GetLineNumber(ctxt_);
        column_ = xmlSAX2GetColumnNumber(ctxt_);
    }
    ctxt_ = nullptr;
}

void SaxLocator::pin(int line, int column) {
    pinned_ = true;
    line_ = line;
    column_ = column;
}

HRESULT SaxLocator::getColumnNumber(int* column) {
    if (!column) return E_POINTER;
    *column = ctxt_ && !pinned_ ? xmlSAX2GetColumnNumber(ctxt_) : column_;
    return S_OK;
}

HRESULT SaxLocator::getLineNumber(int* line) {
    if (!line) return E_POINTER;
    *line = ctxt_ && !pinned_ ? xmlSAX2GetLineNumber(ctxt_) : line_;
    return S_OK;
}

SaxEmitter::SaxEmitter(SaxHandlers const& handlers, SaxLocator* locator, bool namespacePrefixes, bool internedNames)
    : h_(handlers),
      locator_(locator),
      namespacePrefixes_(namespacePrefixes),
      interned_(internedNames),
      attrs_(SaxAttributes::create()) {
    if (!attrs_) stop(E_OUTOFMEMORY);
}

void SaxEmitter::stop(HRESULT hr) {
    if (stopped_) return;
    stopped_ = true;
    result_ = FAILED(hr) ? hr : E_FAIL;
}

bool SaxEmitter::check(HRESULT hr) {
    if (SUCCEEDED(hr)) return true;
    stop(hr);
    return false;
}

SaxEmitter::Names SaxEmitter::names(std::string_view uri, std::string_view prefix, std::string_view local) {
    if (interned_) {
        WideText l = cache_.get(local.data());
        return Names{cache_.get(uri.data()), l, prefix.empty() ? l : cache_.qualified(prefix.data(), local.data())};
    }
    wide_.clear();
    int ul = 0, ll = 0, ql = 0;
    size_t u = wide_.appendTerminated(uri, &ul);
    size_t l = wide_.appendTerminated(local, &ll);
    size_t q = l;
    ql = ll;
    if (!prefix.empty()) {
        q = wide_.size();
        ql = static_cast<int>(wide_.append(prefix) + 1);
        wide_.push(L':');
        ql += static_cast<int>(wide_.append(local));
        wide_.push(L'\0');
    }
    return Names{{wide_.at(u), ul}, {wide_.at(l), ll}, {wide_.at(q), ql}};
}

WideText SaxEmitter::name(std::string_view s) {
    if (interned_) return cache_.get(s.data());
    wide_.clear();
    int n = 0;
    wide_.appendTerminated(s, &n);
    return WideText{wide_.data(), n};
}

wchar_t const* SaxEmitter::text(std::string_view s, int* length) {
    text_.clear();
    text_.appendTerminated(s, length);
    return text_.data();
}

bool SaxEmitter::startDocument() {
    if (stopped_) return false;
    if (!h_.content) return true;
    return check(h_.content->putDocumentLocator(locator_)) && check(h_.content->startDocument());
}

bool SaxEmitter::endDocument() {
    if (!flushText()) return false;
    return !h_.content || check(h_.content->endDocument());
}

void SaxEmitter::fillAttributes(ElementEvent const& e) {
    std::span<NsDecl const> xmlns = namespacePrefixes_ ? e.decls : std::span<NsDecl const>();
    attrs_->assign(xmlns, e.attrs, interned_ ? &cache_ : nullptr);
}

bool SaxEmitter::emitStart(Names const& n, bool mixed) {
    if (mixed && h_.writer) h_.writer->hintMixed();
    return check(h_.content->startElement(n.uri.text, n.uri.length, n.local.text, n.local.length, n.qname.text,
                                          n.qname.length, attrs_.get()));
}

bool SaxEmitter::emitEnd(Names const& n) {
    return check(
        h_.content->endElement(n.uri.text, n.uri.length, n.local.text, n.local.length, n.qname.text, n.qname.length));
}

bool SaxEmitter::startElement(ElementEvent const& e) {
    if (!flushText()) return false;
    if (!h_.content) return true;
    for (NsDecl const& d : e.decls) {
        Names n = names(d.uri, {}, d.prefix);
        if (!check(h_.content->startPrefixMapping(n.local.text, n.local.length, n.uri.text, n.uri.length)))
            return false;
    }
    fillAttributes(e);
    return emitStart(names(e.uri, e.prefix, e.local), e.mixed);
}

bool SaxEmitter::endElement(ElementEvent const& e) {
    if (!flushText()) return false;
    if (!h_.content) return true;
    if (!emitEnd(names(e.uri, e.prefix, e.local))) return false;
    for (size_t i = e.decls.size(); i-- > 0;) {
        WideText p = name(e.decls[i].prefix);
        if (!check(h_.content->endPrefixMapping(p.text, p.length))) return false;
    }
    return true;
}

// The parser's own names go through the cache without ever being measured.
bool SaxEmitter::startElementParsed(xmlChar const* local, xmlChar const* prefix, xmlChar const* uri, int nbNamespaces,
                                    xmlChar const** namespaces, int nbAttributes, xmlChar const** attributes) {
    if (!flushText()) return false;
    if (!h_.content) return true;
    for (int i = 0; i < nbNamespaces; ++i) {
        WideText p = cache_.get(namespaces[2 * i]), u = cache_.get(namespaces[2 * i + 1]);
        if (!check(h_.content->startPrefixMapping(p.text, p.length, u.text, u.length))) return false;
    }
    if (namespacePrefixes_) {
        decls_.clear();
        attrEvents_.clear();
        for (int i = 0; i < nbNamespaces; ++i)
            decls_.push_back(NsDecl{sv(namespaces[2 * i]), sv(namespaces[2 * i + 1])});
        for (int i = 0; i < nbAttributes; ++i) {
            xmlChar const** t = attributes + 5 * i;
            attrEvents_.push_back(
                AttrEvent{sv(t[2]), sv(t[1]), sv(t[0]),
                          std::string_view(reinterpret_cast<char const*>(t[3]), static_cast<size_t>(t[4] - t[3]))});
        }
        attrs_->assign(decls_, attrEvents_, &cache_);
    } else {
        attrs_->assignParsed(nbAttributes, attributes, cache_);
    }
    WideText l = cache_.get(local);
    return emitStart(Names{cache_.get(uri), l, prefix ? cache_.qualified(prefix, local) : l}, false);
}

bool SaxEmitter::endElementParsed(xmlChar const* local, xmlChar const* prefix, xmlChar const* uri, int nbNamespaces,
                                  xmlChar const* const* namespaces) {
    if (!flushText()) return false;
    if (!h_.content) return true;
    WideText l = cache_.get(local);
    if (!emitEnd(Names{cache_.get(uri), l, prefix ? cache_.qualified(prefix, local) : l})) return false;
    for (int i = nbNamespaces; i-- > 0;) {
        WideText p = cache_.get(namespaces[2 * i]);
        if (!check(h_.content->endPrefixMapping(p.text, p.length))) return false;
    }
    return true;
}

void SaxEmitter::appendText(std::string_view s) {
    if (h_.content && !stopped_) pending_.append(s);
}

bool SaxEmitter::flushText() {
    if (stopped_) return false;
    if (pending_.size() == 0) return true;
    int n = static_cast<int>(pending_.size());
    pending_.push(L'\0');
    bool ok = check(h_.content->characters(pending_.data(), n));
    pending_.clear();
    return ok;
}

bool SaxEmitter::characters(std::string_view s) {
    appendText(s);
    return flushText();
}

bool SaxEmitter::cdata(std::string_view s) {
    if (!flushText()) return false;
    if (h_.lexical && !check(h_.lexical->startCDATA())) return false;
    if (!characters(s)) return false;
    return !h_.lexical || check(h_.lexical->endCDATA());
}

bool SaxEmitter::comment(std::string_view s) {
    if (!flushText()) return false;
    if (!h_.lexical) return true;
    int n = 0;
    wchar_t const* t = text(s, &n);
    return check(h_.lexical->comment(t, n));
}

bool SaxEmitter::processingInstruction(std::string_view target, std::string_view data) {
    if (!flushText()) return false;
    if (!h_.content) return true;
    wide_.clear();  // never the name cache: PI texts are not interned
    int tl = 0, dl = 0;
    size_t t = wide_.appendTerminated(target, &tl);
    size_t d = wide_.appendTerminated(data, &dl);
    return check(h_.content->processingInstruction(wide_.at(t), tl, wide_.at(d), dl));
}

bool SaxEmitter::startDTD(std::string_view name, std::string_view publicId, std::string_view systemId) {
    if (!flushText()) return false;
    dtdOpen_ = true;
    if (!h_.lexical) return true;
    wide_.clear();
    int nl = 0, pl = 0, sl = 0;
    size_t n = wide_.appendTerminated(name, &nl);
    size_t p = wide_.appendTerminated(publicId, &pl);
    size_t s = wide_.appendTerminated(systemId, &sl);
    return check(h_.lexical->startDTD(wide_.at(n), nl, wide_.at(p), pl, wide_.at(s), sl));
}

bool SaxEmitter::endDTD() {
    if (stopped_) return false;
    if (!dtdOpen_) return true;
    dtdOpen_ = false;
    return !h_.lexical || check(h_.lexical->endDTD());
}

bool SaxEmitter::doctype(std::string_view name, std::string_view publicId, std::string_view systemId) {
    return startDTD(name, publicId, systemId) && endDTD();
}

void SaxEmitter::fatalError(std::string_view message, HRESULT code) {
    if (stopped_) return;
    flushText();
    if (stopped_) return;
    if (h_.error) {
        int n = 0;
        wchar_t const* t = text(message, &n);
        h_.error->fatalError(locator_, t, code);
    }
    stop(code);
}

void SaxEmitter::warning(std::string_view message, HRESULT code) {
    if (stopped_ || !h_.error) return;
    int n = 0;
    wchar_t const* t = text(message, &n);
    check(h_.error->ignorableWarning(locator_, t, code));
}

}  // namespace mx
