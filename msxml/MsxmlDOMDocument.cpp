#include "msxml/MsxmlDOMDocument.h"

#include <cwchar>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/XmlValueText.h"
#include "msxml/MsxmlCom.h"
#include "msxml/MsxmlDOMAttribute.h"
#include "msxml/MsxmlDOMElement.h"
#include "msxml/MsxmlFactory.h"
#include "msxml/MsxmlFailure.h"
#include "model/XmlFailure.h"
#include "model/XmlObjectFactory.h"
#include "platform/host/ux_string.h"

namespace {

VARIANT_BOOL toVariantBool(bool on) { return on ? VARIANT_TRUE : VARIANT_FALSE; }

// Appends `child` to `parent`; true when the engine returned the appended node.
bool appendTo(IXMLDOMNode* parent, IXMLDOMNode* child) {
    ComPtr<IXMLDOMNode> appended;
    return parent && child && SUCCEEDED(parent->appendChild(child, appended.put())) && appended;
}

// A caller-owned copy of the engine's text, stored in *out.
bool handOut(BSTR text, wchar_t** out) {
    if (!text) return false;
    *out = unmarshal(text);
    return *out != nullptr;
}

bool setWriterOutput(IMXWriter* writer, IStream* file) {
    Variant output;
    if (file) output.setUnknown(file);
    return SUCCEEDED(writer->put_output(output.get()));
}

bool setWriterProperties(IMXWriter* writer, XmlEncoding const& encoding) {
    if (FAILED(writer->put_indent(VARIANT_TRUE))) return false;
    if (FAILED(writer->put_standalone(VARIANT_TRUE))) return false;
    BStr name(encoding.toString());
    return SUCCEEDED(writer->put_encoding(name.get()));
}

// The writer receives both the content events and the lexical ones
// (comments, CDATA), so nothing of the tree is lost on the way.
bool connectWriter(ISAXXMLReader* reader, IMXWriter* writer) {
    auto content = queryInterface<ISAXContentHandler>(writer, IID_ISAXContentHandler);
    if (!content || FAILED(reader->putContentHandler(content.get()))) return false;
    Variant lexical;
    lexical.setDispatch(writer);
    return SUCCEEDED(reader->putProperty(SAX_PROPERTY_LEXICAL_HANDLER, lexical.get()));
}

bool readWriterOutput(IMXWriter* writer, wchar_t** text) {
    Variant output;
    return SUCCEEDED(writer->get_output(output.put())) && handOut(output.text(), text);
}

// Feeds the document through a SAX reader into an indenting XML writer,
// into the file `path` or, when `text` is given instead, into a heap string
// stored in *text (freed by the caller with ux_strfree).
//
// The writer streams into the file target, which holds the bytes beside the
// old file (or in a scratch file) until the commit puts them in place: the
// output never sits in memory as a whole. The walk checks the whole tree
// before its first byte, and a failure on the way reverts the target, so an
// earlier file stays untouched; true only once the new content is in place.
bool writeDocument(IXMLDOMDocument3* document, wchar_t const* path, wchar_t** text, XmlEncoding const& encoding) {
    MsxmlFactory* factory = MsxmlFactory::getInstance();
    ComPtr<ISAXXMLReader> reader(factory->createSAXXMLReader());
    if (!reader) return false;
    ComPtr<IMXWriter> writer(factory->createMXWriter());
    if (!writer) return false;
    if (!setWriterProperties(writer.get(), encoding)) return false;
    if (!connectWriter(reader.get(), writer.get())) return false;
    ComPtr<IStream> file;
    if (path && (FAILED(createOutputFile(path, file.put())) || !file)) return false;
    if (!setWriterOutput(writer.get(), file.get())) return false;
    Variant input;
    input.setDispatch(document);
    bool const written = SUCCEEDED(reader->parse(input.get())) && SUCCEEDED(writer->flush());
    if (!path) return written && readWriterOutput(writer.get(), text);
    if (!written) {
        file->Revert();
        return false;
    }
    return SUCCEEDED(file->Commit(STGC_DEFAULT));
}

// Every live wrapper with the identity of its engine document, so that a node
// moved into another document finds that document's wrapper. Locked, since
// threads make and drop their own documents; the identity is taken once, as
// asking another thread's document for it here would race with that thread.
struct LiveWrappers {
    std::mutex lock;
    std::vector<std::pair<MsxmlDOMDocument const*, IUnknown const*>> list;
};

LiveWrappers& liveWrappers() {
    static LiveWrappers wrappers;
    return wrappers;
}

ComPtr<IUnknown> identityOf(IUnknown* object) {
    return object ? queryInterface<IUnknown>(object, IID_IUnknown) : ComPtr<IUnknown>();
}

}  // namespace

bool loadDocument(IXMLDOMDocument3* document, wchar_t const* path) {
    XmlLastFailure::clear();
    if (!document || !path) return false;
    if (FAILED(document->put_async(VARIANT_FALSE))) return false;
    Variant source;
    source.setString(path);
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (SUCCEEDED(document->load(source.get(), &ok)) && ok == VARIANT_TRUE) return true;
    recordLoadFailure(document, path);
    return false;
}

MsxmlDOMDocument::MsxmlDOMDocument(IXMLDOMDocument3* document) : document_(document), cache_(0) {
    if (document_) document_->AddRef();
    ComPtr<IUnknown> identity = identityOf(document_);
    LiveWrappers& wrappers = liveWrappers();
    std::lock_guard<std::mutex> hold(wrappers.lock);
    wrappers.list.emplace_back(this, identity.get());
}

// The engine document goes first; the cache (and every string handed out)
// after it.
MsxmlDOMDocument::~MsxmlDOMDocument() {
    {
        LiveWrappers& wrappers = liveWrappers();
        std::lock_guard<std::mutex> hold(wrappers.lock);
        std::erase_if(wrappers.list, [this](auto const& entry) { return entry.first == this; });
    }
    if (document_) document_->Release();
}

MsxmlDOMDocument const* MsxmlDOMDocument::wrapperOf(IUnknown* document) {
    ComPtr<IUnknown> wanted = identityOf(document);
    if (!wanted) return nullptr;
    LiveWrappers& wrappers = liveWrappers();
    std::lock_guard<std::mutex> hold(wrappers.lock);
    for (auto const& [wrapper, identity] : wrappers.list)
        if (identity && identity == wanted.get()) return wrapper;
    return nullptr;
}

wchar_t const* MsxmlDOMDocument::unmarshal(wchar_t* text) const {
    if (!text) return nullptr;
    // The cache copies what it keeps: no converted copy is needed first.
    if constexpr (WideTextConverter::IDENTITY) return cache_.cache(text);
    WideTextConverter converted(text);
    return cache_.cache(converted.conv_str());
}

wchar_t const* MsxmlDOMDocument::internName(uint64_t key, wchar_t const* text, size_t n) const {
    if (!text) return nullptr;
    if constexpr (WideTextConverter::IDENTITY) return cache_.cacheKeyed(key, text, n);
    return unmarshal(const_cast<wchar_t*>(text));
}

wchar_t const* MsxmlDOMDocument::internUtf8(char const* text, size_t n) const {
    wchar_t const* wide = text ? cache_.cacheUtf8(text, n) : nullptr;
    if constexpr (WideTextConverter::IDENTITY) return wide;
    // Where the converter changes text, callers get what it makes of it.
    return wide ? unmarshal(const_cast<wchar_t*>(wide)) : nullptr;
}

TrelDOMNode* MsxmlDOMDocument::createTrelNode(IXMLDOMNode* node) const {
    switch (getNodeType(node)) {
    case TREL_NO_NODE: return nullptr;
    case TREL_ELEMENT_NODE: {
        ComPtr<IXMLDOMElement> element(castToElement(node));
        return element ? createTrelElement(element.get()) : nullptr;
    }
    case TREL_ATTRIBUTE_NODE: {
        auto reader = queryInterface<IXMLDOMNodeReader>(node, IID_IXMLDOMNodeReader);
        return reader ? adoptTrelAttribute(ComPtr<IXMLDOMAttribute>(castToAttribute(node)), reader.get()) : nullptr;
    }
    case TREL_DOCUMENT_NODE: return nullptr;  // the document itself is this object, not a node of its tree
    default: return new MsxmlDOMNode(node, this);
    }
}

TrelDOMElement* MsxmlDOMDocument::createTrelElement(IXMLDOMElement* element) const {
    return element ? new MsxmlDOMElement(element, this) : nullptr;
}

// The reference moves into the wrapper only once its memory is there.
MsxmlDOMElement* MsxmlDOMDocument::adoptTrelElement(ComPtr<IXMLDOMElement> element, IXMLDOMNodeReader* reader) const {
    return element ? new MsxmlDOMElement(ComPtr<IXMLDOMNode>(element.detach()), reader, this) : nullptr;
}

MsxmlDOMAttribute* MsxmlDOMDocument::adoptTrelAttribute(ComPtr<IXMLDOMAttribute> attribute,
                                                        IXMLDOMNodeReader* reader) const {
    return attribute ? new MsxmlDOMAttribute(ComPtr<IXMLDOMNode>(attribute.detach()), reader, this) : nullptr;
}

IXMLDOMElement* MsxmlDOMDocument::createMsxmlElement(wchar_t const* name, wchar_t const* namespaceURI) const {
    if (!name) return nullptr;
    Variant type;
    type.setInt(NODE_ELEMENT);
    BStr tag(name);
    BStr uri(namespaceURI);
    ComPtr<IXMLDOMNode> node;
    if (FAILED(document_->createNode(type.get(), tag.get(), uri.get(), node.put()))) return nullptr;
    return castToElement(node.get());
}

IXMLDOMElement* MsxmlDOMDocument::createMsxmlElement(wchar_t const* name, wchar_t const* namespaceURI,
                                                     wchar_t const* text) const {
    ComPtr<IXMLDOMElement> element(createMsxmlElement(name, namespaceURI));
    if (!element || !text || !*text) return element.detach();
    if (!textReadsBack(element.get(), text)) return nullptr;
    ComPtr<IXMLDOMText> child(createMsxmlText(text));
    if (!appendTo(element.get(), child.get())) return nullptr;
    return element.detach();
}

IXMLDOMText* MsxmlDOMDocument::createMsxmlText(wchar_t const* text) const {
    BStr data(text);
    ComPtr<IXMLDOMText> node;
    return SUCCEEDED(document_->createTextNode(data.get(), node.put())) ? node.detach() : nullptr;
}

IXMLDOMComment* MsxmlDOMDocument::createMsxmlComment(wchar_t const* text) const {
    BStr data(text);
    ComPtr<IXMLDOMComment> node;
    return SUCCEEDED(document_->createComment(data.get(), node.put())) ? node.detach() : nullptr;
}

TrelDOMElement* MsxmlDOMDocument::createElement(wchar_t const* tag, wchar_t const* text) const {
    return createElementNS(tag, nullptr, text);
}

TrelDOMElement* MsxmlDOMDocument::createElement(wchar_t const* tag) const {
    return createElementNS(tag, nullptr, nullptr);
}

TrelDOMElement* MsxmlDOMDocument::createElementNS(wchar_t const* tag, wchar_t const* namespaceURI,
                                                  wchar_t const* text) const {
    ComPtr<IXMLDOMElement> element(createMsxmlElement(tag, namespaceURI, text));
    return createTrelElement(element.get());
}

TrelDOMElement* MsxmlDOMDocument::createElementNS(wchar_t const* tag, wchar_t const* namespaceURI) const {
    return createElementNS(tag, namespaceURI, nullptr);
}

TrelDOMElement* MsxmlDOMDocument::getRoot() const {
    if (!document_) return nullptr;
    ComPtr<IXMLDOMElement> root;
    if (FAILED(document_->get_documentElement(root.put()))) return nullptr;
    return createTrelElement(root.get());
}

TrelDOMNode* MsxmlDOMDocument::selectNode(wchar_t const* path) const {
    if (!document_ || !path) return nullptr;
    BStr expression(path);
    ComPtr<IXMLDOMNode> node;
    if (FAILED(document_->selectSingleNode(expression.get(), node.put())) || !node) return nullptr;
    return createTrelNode(node.get());
}

// The element is moved, not copied; a document that has a root already
// refuses a second one.
bool MsxmlDOMDocument::setRoot(TrelDOMElement const* root) {
    auto const* element = dynamic_cast<MsxmlDOMElement const*>(root);
    return element && appendTo(document_, element->getWrapped());
}

bool MsxmlDOMDocument::addXMLDeclaration(XmlEncoding const& encoding) {
    wchar_t data[1024];
    wchar_t const* name = encoding.toString();
    swprintf(data, sizeof data / sizeof data[0], L"version='1.0' encoding='%ls'", name ? name : L"");
    BStr target(L"xml");
    BStr value(data);
    ComPtr<IXMLDOMProcessingInstruction> declaration;
    return SUCCEEDED(document_->createProcessingInstruction(target.get(), value.get(), declaration.put())) &&
           appendTo(document_, declaration.get());
}

bool MsxmlDOMDocument::addComment(wchar_t const* text) {
    ComPtr<IXMLDOMComment> comment(createMsxmlComment(text));
    return appendTo(document_, comment.get());
}

bool MsxmlDOMDocument::save(wchar_t const* path, XmlEncoding const& encoding, bool indent) const {
    XmlLastFailure::clear();
    if (!path) return false;
    Variant destination;
    destination.setString(path);
    bool const saved =
        indent ? writeDocument(document_, path, nullptr, encoding) : SUCCEEDED(document_->save(destination.get()));
    if (!saved) recordWriteFailure(document_, path);
    return saved;
}

bool MsxmlDOMDocument::saveXML(wchar_t** out, bool indent) const {
    XmlLastFailure::clear();
    if (!out) return false;
    if (writeText(out, indent)) return true;
    recordWriteFailure(document_, nullptr);
    return false;
}

bool MsxmlDOMDocument::writeText(wchar_t** out, bool indent) const {
    if (indent) return writeDocument(document_, nullptr, out, XmlEncoding::UTF8);
    ComPtr<IXMLDOMElement> root;  // text without a root element would not read back
    if (FAILED(document_->get_documentElement(root.put())) || !root) return false;
    BStr xml;
    if (FAILED(document_->get_xml(xml.put()))) return false;
    return handOut(xml.get(), out);
}

bool MsxmlDOMDocument::load(wchar_t const* path) { return loadDocument(document_, path); }

bool MsxmlDOMDocument::loadXML(wchar_t const* text) {
    XmlLastFailure::clear();
    if (!text) return false;
    BStr xml(text);
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (SUCCEEDED(document_->loadXML(xml.get(), &ok)) && ok == VARIANT_TRUE) return true;
    recordLoadFailure(document_, nullptr);
    return false;
}

void MsxmlDOMDocument::resolveExternals(bool on) {
    document_->put_validateOnParse(toVariantBool(on));
    document_->put_resolveExternals(toVariantBool(on));
}
