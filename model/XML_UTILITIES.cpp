#include "model/XML_UTILITIES.h"

#include <cwchar>
#include <memory>
#include <string>

#include "core/XmlSmartPtr.h"
#include "model/EncodingConverter.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/TrelSAXXMLReader.h"
#include "model/XmlFailure.h"
#include "model/XmlObjectFactory.h"
#include "platform/host/file_names.h"
#include "platform/host/system.h"
#include "platform/host/utf8.h"
#include "platform/host/ux_string.h"
#include "platform/win32/win32.h"

namespace {

struct UxStringFree {
    void operator()(wchar_t* s) const { ux_strfree(s); }
};
// A heap string of the host, freed on every path.
typedef std::unique_ptr<wchar_t, UxStringFree> UxString;

wchar_t const* applicationName() { return L"Quillmark"; }

struct SystemFact {
    wchar_t const* tag;
    wchar_t const* (*text)();
};

// The children of the system-information element, in their order.
// One entry a line:
// clang-format off
SystemFact const kSystemFacts[] = {
    {L"Application", applicationName},
    {L"Version", SYSTEM::program_version_string},
    {L"Hostname", SYSTEM::fullhostname},
    {L"User", SYSTEM::username},
    {L"Date", SYSTEM::get_date_string_2000},
    {L"Time", SYSTEM::get_time_string},
};
// clang-format on

bool addSystemFacts(TrelDOMElement* element) {
    for (SystemFact const& fact : kSystemFacts) {
        if (!element->addChild(fact.tag, fact.text())) return false;
    }
    return true;
}

wchar_t const kXmlExtension[] = L".xml";
size_t const kXmlExtensionLength = 4;

bool endsWithXmlExtension(std::wstring const& name) {
    return name.size() > kXmlExtensionLength &&
           name.compare(name.size() - kXmlExtensionLength, kXmlExtensionLength, kXmlExtension) == 0;
}

// `path`, or a fresh name in the temporary directory; "" when none can be made.
std::wstring browserTarget(wchar_t const* path) {
    if (path) return path;
    wchar_t unique[UX_MAX_PATH];
    if (!FILING::unique_file_name(ux_get_tmpdir(false), unique, UX_MAX_PATH)) return {};
    return unique;
}

}  // namespace

wchar_t* XML_UTILITIES::serialize(TrelDOMDocument* document, bool indent, bool releaseDocument) {
    if (!document) return nullptr;
    wchar_t* out = nullptr;
    document->saveXML(&out, indent);  // a failed save leaves out null
    if (releaseDocument) document->removeReference();
    return out;
}

unsigned char* XML_UTILITIES::serializeToUTF8(TrelDOMDocument* document, bool indent, bool releaseDocument) {
    UxString text(serialize(document, indent, releaseDocument));
    if (!text) return nullptr;
    return InternalToUTF8(text.get(), nullptr, 0);
}

TrelDOMDocument* XML_UTILITIES::deserialize(wchar_t const* text) {
    if (!text) return nullptr;
    XmlSmartPtr<TrelDOMDocument> document(XmlObjectFactory::getInstance()->createDocument());
    if (!document || !document->loadXML(text)) return nullptr;
    // The caller's reference outlives the smart pointer's.
    document->addReference();
    return document;
}

TrelDOMDocument* XML_UTILITIES::deserialize(unsigned char const* utf8Text) {
    if (!utf8Text) return nullptr;
    UTF8Converter text(utf8Text);
    return deserialize(text.conv_str());
}

wchar_t* XML_UTILITIES::getRootTag(wchar_t const* path) {
    RootTagReader reader;
    // The reader stops the parse at the first start tag, so success means
    // there was none.
    if (TrelSAXXMLReader::parseFile(path, &reader, nullptr)) return nullptr;
    wchar_t* tag = reader.releaseRootTag();
    if (tag) XmlLastFailure::clear();  // the parse was stopped on purpose
    return tag;
}

TrelDOMElement* XML_UTILITIES::systemInfoToXML(TrelDOMFactory const* factory, wchar_t const* tag,
                                               wchar_t const* namespaceURI) {
    if (!factory) return nullptr;
    TrelDOMElement* element = factory->createElementNS(tag, namespaceURI);
    if (!element) return nullptr;
    if (addSystemFacts(element)) return element;  // detached, count 0
    XmlSmartPtr<TrelDOMElement> discard(element);
    return nullptr;
}

void XML_UTILITIES::sendToBrowser(TrelDOMDocument const* document, wchar_t const* path) {
    if (!document) return;
    std::wstring name = browserTarget(path);
    if (name.empty()) return;
    if (!endsWithXmlExtension(name)) name += kXmlExtension;
    // The viewer is asked to open the name even when the save failed: it then
    // shows whatever is (or is not) there, as the user would see it by hand.
    document->save(name.c_str(), true);
    ShellExecuteW(nullptr, L"open", name.c_str(), nullptr, nullptr, SW_SHOW);
}

RootTagReader::~RootTagReader() { ux_strfree(rootTag_); }

bool RootTagReader::startElement(wchar_t const* tag, TrelSAXAttributes const*) {
    ux_strfree(rootTag_);
    rootTag_ = ux_strsave(tag);
    return false;  // nothing after the root's start tag is needed
}

wchar_t* RootTagReader::releaseRootTag() {
    wchar_t* tag = rootTag_;
    rootTag_ = nullptr;
    return tag;
}
