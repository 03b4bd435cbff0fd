#include "platform/msxml6/writer_mx.h"

#include <cwchar>
#include <cwctype>
#include <new>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/sax_walk.h"

namespace mx {

namespace {

bool sameName(BSTR s, wchar_t const* name) {
    size_t n = wcslen(name);
    if (SysStringLen(s) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (towupper(static_cast<wint_t>(s[i])) != static_cast<wint_t>(name[i])) return false;
    return true;
}

bool isTrue(VARIANT_BOOL b) { return b != VARIANT_FALSE; }

// Writes a tree walk straight into the output: the events a SAX walk would
// deliver, minus the wide-string round trip.
class DirectSink {
public:
    DirectSink(XmlOutput& out, bool lexical) : out_(out), lexical_(lexical) {}
    HRESULT result() const { return hr_; }

    bool startDocument() { return ok(out_.startDocument()); }
    bool endDocument() { return ok(out_.endDocument()); }
    bool startElement(ElementEvent const& e) {
        attrs_.clear();
        for (AttrEvent const& a : e.attrs) attrs_.push_back(AttrOut{a.prefix, a.local, a.value});
        return ok(out_.startElement(e.prefix, e.local, e.decls, attrs_, e.mixed));
    }
    bool endElement(ElementEvent const& e) { return ok(out_.endElement(e.prefix, e.local)); }
    bool characters(std::string_view s) { return ok(out_.characters(s)); }
    bool cdata(std::string_view s) {
        if (!lexical_) return characters(s);
        return ok(out_.startCDATA()) && ok(out_.characters(s)) && ok(out_.endCDATA());
    }
    bool comment(std::string_view s) { return !lexical_ || ok(out_.comment(s)); }
    bool processingInstruction(std::string_view target, std::string_view data) {
        return ok(out_.processingInstruction(target, data));
    }
    bool doctype(std::string_view name, std::string_view publicId, std::string_view systemId) {
        return !lexical_ || (ok(out_.startDTD(name, publicId, systemId)) && ok(out_.endDTD()));
    }

private:
    bool ok(HRESULT hr) {
        if (FAILED(hr)) hr_ = hr;
        return SUCCEEDED(hr);
    }

    XmlOutput& out_;
    bool lexical_;
    HRESULT hr_ = S_OK;
    std::vector<AttrOut> attrs_;
};

}  // namespace

HRESULT createMXWriter(REFIID riid, void** out) { return createAs<MXWriter>(riid, out); }

MXWriter::MXWriter() {
    out_.reset(nullptr);
    applyOptions();
}

MXWriter::~MXWriter() { out_.flush(); }

HRESULT MXWriter::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IMXWriter)
        *out = static_cast<IMXWriter*>(this);
    else if (riid == IID_ISAXContentHandler)
        *out = static_cast<ISAXContentHandler*>(this);
    else if (riid == IID_ISAXLexicalHandler)
        *out = static_cast<ISAXLexicalHandler*>(this);
    else if (riid == IID_IWriterDirect)
        *out = static_cast<IWriterDirect*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT MXWriter::put_output(VARIANT destination) {
    out_.flush();  // whatever the previous output still holds goes there
    if (destination.vt == VT_EMPTY || destination.vt == VT_NULL) {
        out_.reset(nullptr);
        return S_OK;
    }
    if (destination.vt != VT_UNKNOWN && destination.vt != VT_DISPATCH) return E_INVALIDARG;
    IUnknown* object = destination.punkVal;
    auto stream = queryAs<ISequentialStream>(object, IID_IStream);
    if (!stream) stream = queryAs<ISequentialStream>(object, IID_ISequentialStream);
    if (!stream) return E_INVALIDARG;
    out_.reset(stream.get());
    return S_OK;
}

HRESULT MXWriter::get_output(VARIANT* destination) {
    if (!destination) return E_POINTER;
    VariantInit(destination);
    if (ISequentialStream* stream = out_.stream()) {
        destination->vt = VT_UNKNOWN;
        destination->punkVal = stream;
        stream->AddRef();
        return S_OK;
    }
    std::string const& text = out_.text();
    BSTR s = bstrFromUtf8(text.data(), text.size());
    if (!s) return E_OUTOFMEMORY;
    destination->vt = VT_BSTR;
    destination->bstrVal = s;
    return S_OK;
}

HRESULT MXWriter::put_encoding(BSTR encoding) {
    if (SysStringLen(encoding) == 0 || sameName(encoding, L"UTF-8") || sameName(encoding, L"UTF8"))
        options_.encoding = OutputEncoding::Utf8;
    else if (sameName(encoding, L"UTF-16") || sameName(encoding, L"UTF16"))
        options_.encoding = OutputEncoding::Utf16;
    else
        return E_INVALIDARG;  // only the two Unicode encodings are written
    applyOptions();
    return S_OK;
}

HRESULT MXWriter::put_indent(VARIANT_BOOL indent) {
    options_.indent = isTrue(indent);
    applyOptions();
    return S_OK;
}

HRESULT MXWriter::put_standalone(VARIANT_BOOL standalone) {
    options_.standalone = isTrue(standalone);
    applyOptions();
    return S_OK;
}

size_t MXWriter::keep(wchar_t const* s, int length) {
    size_t begin = scratch_.size();
    appendUtf8(scratch_, s, static_cast<size_t>(lengthOf(s, length)));
    return begin;
}

std::string_view MXWriter::kept(size_t offset, size_t end) const {
    return std::string_view(scratch_.data() + offset, end - offset);
}

// The qualified name, or the local name when no qualified name was given.
std::string_view MXWriter::qualifiedName(wchar_t const* localName, int localNameLength, wchar_t const* qname,
                                         int qnameLength) {
    scratch_.clear();
    if (lengthOf(qname, qnameLength) > 0)
        keep(qname, qnameLength);
    else
        keep(localName, localNameLength);
    return scratch_;
}

// Appends every attribute's name and value to scratch_, then takes views.
HRESULT MXWriter::collectAttributes(ISAXAttributes* attributes) {
    attrs_.clear();
    marks_.clear();
    int n = 0;
    if (attributes && FAILED(attributes->getLength(&n))) return E_FAIL;
    for (int i = 0; i < n; ++i) {
        wchar_t const* name = nullptr;
        wchar_t const* value = nullptr;
        int nameLength = 0, valueLength = 0;
        HRESULT hr = attributes->getQName(i, &name, &nameLength);
        if (SUCCEEDED(hr) && nameLength == 0) hr = attributes->getLocalName(i, &name, &nameLength);
        if (SUCCEEDED(hr)) hr = attributes->getValue(i, &value, &valueLength);
        if (FAILED(hr)) return hr;
        marks_.push_back(keep(name, nameLength));
        marks_.push_back(keep(value, valueLength));
    }
    marks_.push_back(scratch_.size());
    for (size_t i = 0; i + 2 < marks_.size(); i += 2)
        attrs_.push_back(AttrOut{{}, kept(marks_[i], marks_[i + 1]), kept(marks_[i + 1], marks_[i + 2])});
    return S_OK;
}

// Declarations are written on the next start tag.
HRESULT MXWriter::startPrefixMapping(wchar_t const* prefix, int prefixLength, wchar_t const* uri, int uriLength) {
    declMarks_.push_back(declText_.size());
    appendUtf8(declText_, prefix, static_cast<size_t>(lengthOf(prefix, prefixLength)));
    declMarks_.push_back(declText_.size());
    appendUtf8(declText_, uri, static_cast<size_t>(lengthOf(uri, uriLength)));
    declMarks_.push_back(declText_.size());
    return S_OK;
}

HRESULT MXWriter::startElement(wchar_t const*, int, wchar_t const* localName, int localNameLength, wchar_t const* qname,
                               int qnameLength, ISAXAttributes* attributes) {
    qualifiedName(localName, localNameLength, qname, qnameLength);
    size_t nameEnd = scratch_.size();
    HRESULT hr = collectAttributes(attributes);
    if (FAILED(hr)) return hr;
    decls_.clear();
    std::string_view text = declText_;
    for (size_t i = 0; i + 2 < declMarks_.size(); i += 3)
        decls_.push_back(NsDecl{text.substr(declMarks_[i], declMarks_[i + 1] - declMarks_[i]),
                                text.substr(declMarks_[i + 1], declMarks_[i + 2] - declMarks_[i + 1])});
    bool mixed = nextMixed_;
    nextMixed_ = false;
    hr = out_.startElement({}, kept(0, nameEnd), decls_, attrs_, mixed);
    declText_.clear();
    declMarks_.clear();
    return hr;
}

HRESULT MXWriter::endElement(wchar_t const*, int, wchar_t const* localName, int localNameLength, wchar_t const* qname,
                             int qnameLength) {
    return out_.endElement({}, qualifiedName(localName, localNameLength, qname, qnameLength));
}

HRESULT MXWriter::characters(wchar_t const* chars, int length) {
    scratch_.clear();
    keep(chars, length);
    return out_.characters(scratch_);
}

HRESULT MXWriter::processingInstruction(wchar_t const* target, int targetLength, wchar_t const* data, int dataLength) {
    scratch_.clear();
    keep(target, targetLength);
    size_t end = scratch_.size();
    keep(data, dataLength);
    return out_.processingInstruction(kept(0, end), kept(end, scratch_.size()));
}

HRESULT MXWriter::startDTD(wchar_t const* name, int nameLength, wchar_t const* publicId, int publicIdLength,
                           wchar_t const* systemId, int systemIdLength) {
    scratch_.clear();
    keep(name, nameLength);
    size_t a = scratch_.size();
    keep(publicId, publicIdLength);
    size_t b = scratch_.size();
    keep(systemId, systemIdLength);
    return out_.startDTD(kept(0, a), kept(a, b), kept(b, scratch_.size()));
}

HRESULT MXWriter::comment(wchar_t const* chars, int length) {
    scratch_.clear();
    keep(chars, length);
    return out_.comment(scratch_);
}

HRESULT MXWriter::writeTree(xmlNodePtr root, bool lexical) {
    if (!root) return E_INVALIDARG;
    DirectSink sink(out_, lexical);
    TreeWalker<DirectSink> walker(sink);
    bool const complete = walker.run(root);
    HRESULT const hr = sink.result();
    return FAILED(hr) || complete ? hr : E_FAIL;  // the walk refused the tree (too deep)
}

}  // namespace mx
