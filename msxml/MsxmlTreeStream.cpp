// The tree stream over the engine: files through its SAX reader, DOM nodes
// through its tree event reader, which walks the tree with the very same
// events (iteratively, with the namespace declarations an element needs
// made up when they sit on an ancestor) and none of the SAX reader's
// per-node COM calls.
#include "model/TrelTreeStream.h"

#include <new>
#include <string>
#include <vector>

#include "msxml/MsxmlCom.h"
#include "msxml/MsxmlDOMDocument.h"
#include "msxml/MsxmlDOMElement.h"
#include "msxml/MsxmlFactory.h"
#include "msxml/MsxmlFailure.h"
#include "msxml/MsxmlSAX.h"
#include "model/XmlFailure.h"

namespace {

std::size_t counted(int length) { return length > 0 ? static_cast<std::size_t>(length) : 0; }

// Content and lexical handler in one object; forwards to the sink.
class TreeStreamAdapter final : public ISAXContentHandler, public ISAXLexicalHandler, private mx::RefCounted {
public:
    explicit TreeStreamAdapter(TrelTreeSink& sink) : sink_(sink) {}

    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_ISAXContentHandler) *out = static_cast<ISAXContentHandler*>(this);
        if (riid == IID_ISAXLexicalHandler) *out = static_cast<ISAXLexicalHandler*>(this);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }

    HRESULT putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT startDocument() override { return S_OK; }
    HRESULT endDocument() override { return S_OK; }
    HRESULT startPrefixMapping(wchar_t const*, int, wchar_t const*, int) override { return S_OK; }
    HRESULT endPrefixMapping(wchar_t const*, int) override { return S_OK; }
    HRESULT startElement(wchar_t const*, int, wchar_t const*, int, wchar_t const* qname, int qnameLength,
                         ISAXAttributes* attributes) override {
        // Nothing may leave towards the parser: out of memory stops it.
        try {
            if (!readAttributes(attributes)) return E_FAIL;
        } catch (std::bad_alloc const&) {
            return E_OUTOFMEMORY;
        }
        return toResult(sink_.startElement(qname, counted(qnameLength), attributes_.data(), attributes_.size()));
    }
    HRESULT endElement(wchar_t const*, int, wchar_t const*, int, wchar_t const*, int) override {
        return toResult(sink_.endElement());
    }
    HRESULT characters(wchar_t const* chars, int length) override {
        return toResult(sink_.text(chars, counted(length), inCdata_));
    }
    HRESULT ignorableWhitespace(wchar_t const* chars, int length) override { return characters(chars, length); }
    HRESULT processingInstruction(wchar_t const*, int, wchar_t const*, int) override {
        return toResult(sink_.separator());
    }
    HRESULT skippedEntity(wchar_t const*, int) override { return S_OK; }

    HRESULT startDTD(wchar_t const*, int, wchar_t const*, int, wchar_t const*, int) override { return S_OK; }
    HRESULT endDTD() override { return S_OK; }
    HRESULT startEntity(wchar_t const*, int) override { return S_OK; }
    HRESULT endEntity(wchar_t const*, int) override { return S_OK; }
    HRESULT startCDATA() override {
        inCdata_ = true;
        return S_OK;
    }
    HRESULT endCDATA() override {
        inCdata_ = false;
        return S_OK;
    }
    HRESULT comment(wchar_t const*, int) override { return toResult(sink_.separator()); }

private:
    bool readAttributes(ISAXAttributes* attributes) {
        attributes_.clear();
        int count = 0;
        if (!attributes || FAILED(attributes->getLength(&count))) return !attributes;
        for (int i = 0; i < count; ++i) {
            wchar_t const* name = nullptr;
            wchar_t const* value = nullptr;
            int nameLength = 0;
            int valueLength = 0;
            if (FAILED(attributes->getQName(i, &name, &nameLength)) ||
                FAILED(attributes->getValue(i, &value, &valueLength)))
                return false;
            attributes_.push_back({name, counted(nameLength), value, counted(valueLength)});
        }
        return true;
    }

    TrelTreeSink& sink_;
    bool inCdata_ = false;
    std::vector<TrelTreeSink::Attribute> attributes_;  // reused for every element
};

// A reader that reports namespace declarations as attributes, and
// everything else, to a new adapter over the sink.
ComPtr<ISAXXMLReader> readerInto(TrelTreeSink& sink) {
    ComPtr<ISAXXMLReader> reader(MsxmlFactory::getInstance()->createSAXXMLReader());
    if (!reader) return reader;
    ComPtr<ISAXContentHandler> adapter(new TreeStreamAdapter(sink));
    Variant lexical;
    lexical.setUnknown(adapter.get());
    if (FAILED(reader->putFeature(L"http://xml.org/sax/features/namespace-prefixes", VARIANT_TRUE)) ||
        FAILED(reader->putContentHandler(adapter.get())) ||
        FAILED(reader->putProperty(SAX_PROPERTY_LEXICAL_HANDLER, lexical.get())))
        reader.reset();
    return reader;
}

// The engine's tree events, as they are, to the sink.
class TreeEventForwarder final : public IXMLTreeEventSink {
public:
    explicit TreeEventForwarder(TrelTreeUtf8Sink& sink) : sink_(sink) {}

    bool startElement(XMLTreeName const& name, XMLTreeAttribute const* attributes, std::size_t count) override {
        try {
            attributes_.resize(count);
        } catch (std::bad_alloc const&) {
            return false;
        }
        for (std::size_t i = 0; i < count; ++i) {
            XMLTreeAttribute const& a = attributes[i];
            attributes_[i] = {nameOf(a.name), a.value, a.valueLength};
        }
        return sink_.startElement(nameOf(name), attributes_.data(), count);
    }
    bool endElement() override { return sink_.endElement(); }
    bool text(char const* utf8, std::size_t length, bool cdata) override { return sink_.text(utf8, length, cdata); }
    bool separator() override { return sink_.separator(); }

private:
    static TrelTreeUtf8Sink::Name nameOf(XMLTreeName const& n) {
        return {n.prefix, n.prefixLength, n.local, n.localLength};
    }

    TrelTreeUtf8Sink& sink_;
    std::vector<TrelTreeUtf8Sink::Attribute> attributes_;  // reused for every element
};

MsxmlDOMNode const* engineNode(TrelDOMElement const* element) {
    auto const* node = dynamic_cast<MsxmlDOMNode const*>(element);
    return node && node->getWrapped() ? node : nullptr;
}

}  // namespace

bool streamTreeFile(wchar_t const* path, TrelTreeSink& sink) {
    XmlLastFailure::clear();
    if (!path) return false;
    ComPtr<IStream> stream;
    HRESULT hr = openFileStream(path, STGM_READ, stream.put());
    if (FAILED(hr) || !stream) {
        recordParseFailure(FAILED(hr) ? hr : E_FAIL, path);
        return false;
    }
    ComPtr<ISAXXMLReader> reader = readerInto(sink);
    if (!reader) return false;
    // Records the parser's message when the file is not well-formed.
    ComPtr<ISAXErrorHandler> errors(new SAXErrorHandlerImpl(nullptr));
    if (FAILED(reader->putErrorHandler(errors.get()))) return false;
    Variant input;
    input.setUnknown(stream.get());
    hr = reader->parse(input.get());
    if (SUCCEEDED(hr)) return true;
    recordParseFailure(hr, path);
    return false;
}

bool streamTreeElement(TrelDOMElement const* element, TrelTreeUtf8Sink& sink) {
    MsxmlDOMNode const* node = engineNode(element);
    if (!node) return false;
    ComPtr<IXMLTreeEventReader> reader(MsxmlFactory::getInstance()->createTreeEventReader());
    TreeEventForwarder forwarder(sink);
    return reader && SUCCEEDED(reader->readTree(node->getWrapped(), &forwarder));
}

// A downcast: cheaper than engineNode's cross-cast, and only elements ask.
bool readTextUtf8(TrelDOMElement const* element, char const** text, std::size_t* bytes) {
    auto const* node = dynamic_cast<MsxmlDOMElement const*>(element);
    return node && node->getReader()->readTextUtf8(text, bytes) == S_OK;
}

bool readAttributeUtf8(TrelDOMElement const* element, char const* name, char const** value, std::size_t* bytes) {
    auto const* node = dynamic_cast<MsxmlDOMElement const*>(element);
    return node && name && node->getReader()->readNamedAttributeUtf8(name, value, bytes) == S_OK;
}

namespace {

// The engine's names as the qualified ones the sink takes: most have no
// prefix and pass as they are.
class QualifiedNames : public IXMLAttributeNameSink {
public:
    explicit QualifiedNames(TrelNameSink& sink) : sink_(sink) {}
    void name(XMLTreeName const& name) override {
        if (!name.prefix) return sink_.name(name.local, name.localLength);
        joined_.assign(name.prefix, name.prefixLength).append(1, ':').append(name.local, name.localLength);
        sink_.name(joined_.data(), joined_.size());
    }

private:
    TrelNameSink& sink_;
    std::string joined_;
};

}  // namespace

bool scanAttributeNames(TrelDOMElement const* element, TrelNameSink& sink) {
    auto const* node = dynamic_cast<MsxmlDOMElement const*>(element);
    if (!node) return false;
    QualifiedNames names(sink);
    return node->getReader()->scanAttributeNamesUtf8(&names) == S_OK;
}

bool appendTextChild(TrelDOMElement* element, wchar_t const* text) {
    MsxmlDOMNode const* node = engineNode(element);
    if (!node || !text) return false;
    ComPtr<IXMLDOMText> fresh(node->getMsxmlDocument()->createMsxmlText(text));
    ComPtr<IXMLDOMNode> appended;
    return fresh && SUCCEEDED(node->getWrapped()->appendChild(fresh.get(), appended.put())) && appended;
}
