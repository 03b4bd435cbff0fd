#include "platform/msxml6/sax_reader.h"

#include <cwchar>
#include <new>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/write_check.h"

namespace mx {

namespace {

constexpr wchar_t const* kFeatureNamespaces = L"http://xml.org/sax/features/namespaces";
constexpr wchar_t const* kFeatureNamespacePrefixes = L"http://xml.org/sax/features/namespace-prefixes";
constexpr wchar_t const* kFeatureExternalGeneral = L"http://xml.org/sax/features/external-general-entities";
constexpr wchar_t const* kFeatureExternalParameter = L"http://xml.org/sax/features/external-parameter-entities";

bool named(wchar_t const* name, wchar_t const* expected) { return name && wcscmp(name, expected) == 0; }

// Marks the reader busy for the duration of one parse.
struct BusyScope {
    explicit BusyScope(bool& flag) : flag(flag) { flag = true; }
    ~BusyScope() { flag = false; }
    bool& flag;
};

bool sameObject(IUnknown* a, IUnknown* b) {
    auto ua = queryAs<IUnknown>(a, IID_IUnknown);
    auto ub = queryAs<IUnknown>(b, IID_IUnknown);
    return ua && ua.get() == ub.get();
}

}  // namespace

HRESULT createSAXXMLReader(REFIID riid, void** out) { return createAs<SaxReader>(riid, out); }

// External entities are one switch: general and parameter entities (and
// the external DTD subset) are read together, from local files only.
HRESULT SaxReader::putFeature(wchar_t const* name, VARIANT_BOOL value) {
    if (busy_) return E_FAIL;
    bool on = value != VARIANT_FALSE;
    if (named(name, kFeatureNamespaces)) return on ? S_OK : E_INVALIDARG;
    if (named(name, kFeatureNamespacePrefixes))
        namespacePrefixes_ = on;
    else if (named(name, kFeatureExternalGeneral) || named(name, kFeatureExternalParameter))
        externalEntities_ = on;
    else
        return E_INVALIDARG;
    return S_OK;
}

HRESULT SaxReader::putProperty(wchar_t const* name, VARIANT value) {
    if (!named(name, SAX_PROPERTY_LEXICAL_HANDLER)) return E_INVALIDARG;
    // No object (VT_EMPTY, VT_NULL or a null pointer) removes the handler.
    IUnknown* object = objectOf(value);
    if (!object && value.vt != VT_EMPTY && value.vt != VT_NULL && value.vt != VT_UNKNOWN && value.vt != VT_DISPATCH)
        return E_INVALIDARG;
    auto lexical = queryAs<ISAXLexicalHandler>(object, IID_ISAXLexicalHandler);
    if (object && !lexical) return E_NOINTERFACE;
    handlers_.lexical = std::move(lexical);
    return S_OK;
}

HRESULT SaxReader::putContentHandler(ISAXContentHandler* handler) {
    handlers_.content = ComPtr<ISAXContentHandler>::share(handler);
    handlers_.writer = queryAs<IWriterDirect>(handler, IID_IWriterDirect);
    return S_OK;
}

HRESULT SaxReader::putErrorHandler(ISAXErrorHandler* handler) {
    handlers_.error = ComPtr<ISAXErrorHandler>::share(handler);
    return S_OK;
}

// A handler replaced during a parse stays alive until the parse ends.
SaxHandlers SaxReader::snapshot() const { return handlers_; }

HRESULT SaxReader::parse(VARIANT input) {
    ensureInit();
    if (busy_) return E_FAIL;  // no nested parse on the same reader
    switch (input.vt) {
    case VT_BSTR: return parseText(input.bstrVal);
    case VT_UNKNOWN:
    case VT_DISPATCH: return input.punkVal ? parseObject(input.punkVal) : E_INVALIDARG;
    default: return E_INVALIDARG;
    }
}

HRESULT SaxReader::parseURL(wchar_t const* url) {
    ensureInit();
    if (busy_) return E_FAIL;
    if (!url) return E_INVALIDARG;
    HRESULT hr = S_OK;
    auto stream = ComPtr<IStream>::adopt(openFile(url, STGM_READ, &hr));
    if (!stream) return FAILED(hr) ? hr : E_FAIL;
    return parseStream(stream.get(), url);
}

// A DOM node (its tree is reported) or a stream of XML text.
HRESULT SaxReader::parseObject(IUnknown* object) {
    if (xmlNodePtr node = engineNodeOf(object)) return walk(node);
    auto stream = queryAs<ISequentialStream>(object, IID_IStream);
    if (!stream) stream = queryAs<ISequentialStream>(object, IID_ISequentialStream);
    if (!stream) return E_INVALIDARG;
    return parseStream(stream.get(), std::wstring());
}

HRESULT SaxReader::parseStream(ISequentialStream* stream, std::wstring const& url) {
    ByteSource source;
    source.stream = stream;
    source.url = toUtf8(url.c_str(), url.size());
    return parseSource(source);
}

HRESULT SaxReader::parseText(BSTR text) {
    std::string utf8 = parserInputUtf8(text, SysStringLen(text));
    ByteSource source;
    source.text = utf8;
    return parseSource(source);
}

HRESULT SaxReader::parseSource(ByteSource const& source) {
    BusyScope busy(busy_);
    SaxHandlers handlers = snapshot();
    auto locator = SaxLocator::create();
    if (!locator) return E_OUTOFMEMORY;
    SaxEmitter emitter(handlers, locator.get(), namespacePrefixes_, true);
    return parseBytes(emitter, source, externalEntities_);
}

// Our own writer as the only handler writes the tree directly (same output).
HRESULT SaxReader::walk(xmlNodePtr root) {
    SaxHandlers handlers = snapshot();
    bool writerAlone = handlers.writer && !namespacePrefixes_ &&
                       (!handlers.lexical || sameObject(handlers.lexical.get(), handlers.writer.get()));
    // A tree that would not re-parse into itself is not reported at all:
    // a writer behind this reader would write a different document. The
    // writer streams to its output, so it also learns of a tree too deep
    // before it has written anything.
    if (!(writerAlone ? treeSavable(root, nullptr) : treeWritable(root))) return E_FAIL;
    BusyScope busy(busy_);
    if (writerAlone) return handlers.writer->writeTree(root, handlers.lexical.get() != nullptr);
    auto locator = SaxLocator::create();
    if (!locator) return E_OUTOFMEMORY;
    // A built tree's names are not all interned, and a handler may change
    // the tree while it is walked: no name cache here.
    SaxEmitter emitter(handlers, locator.get(), namespacePrefixes_, false);
    TreeWalker<SaxEmitter> walker(emitter);
    bool const complete = walker.run(root);
    HRESULT const hr = emitter.result();
    return FAILED(hr) || complete ? hr : E_FAIL;  // the walk refused the tree (too deep)
}

}  // namespace mx
