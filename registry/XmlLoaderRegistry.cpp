#include "registry/XmlLoaderRegistry.h"

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XML_UTILITIES.h"
#include "model/XmlObjectFactory.h"
#include "platform/host/automation_log.h"
#include "platform/host/messages.h"
#include "platform/host/ux_string.h"
#include "registry/XmlLoader.h"
#include "registry/XmlLoaderContext.h"

namespace {

// One buffer per thread for forming messages: contexts keep their own copy,
// so each message may reuse it.
thread_local wchar_t messageBuffer[1024];

wchar_t const* formMessage(int number, wchar_t const* defaultText, wchar_t const* argument) {
    wchar_t const* format = get_mesg(XmlLoaderContext::MESSAGE_MODULE, number, defaultText);
    return ux_fix_mesg(messageBuffer, sizeof messageBuffer / sizeof messageBuffer[0], format, argument);
}

// Owns a heap string from the host (freed with ux_strfree).
class HostString {
public:
    explicit HostString(wchar_t* s) : s_(s) {}
    ~HostString() { ux_strfree(s_); }
    HostString(HostString const&) = delete;
    HostString& operator=(HostString const&) = delete;
    wchar_t const* get() const { return s_; }

private:
    wchar_t* s_;
};

wchar_t const NO_ROOT[] = L"<no root>";

}  // namespace

// ---- context --------------------------------------------------------------------

XmlLoaderContext::~XmlLoaderContext() {
    clearDisplayMessage();
    clearErrorMessage();
}

void XmlLoaderContext::clearDisplayMessage() {
    ux_strfree(displayMessage_);
    displayMessage_ = nullptr;
}

void XmlLoaderContext::clearErrorMessage() {
    ux_strfree(errorMessage_);
    errorMessage_ = nullptr;
}

void XmlLoaderContext::setDisplayMessage(wchar_t const* text) {
    wchar_t* copy = ux_strdup(text);  // text may be the stored message itself
    clearDisplayMessage();
    displayMessage_ = copy;
}

void XmlLoaderContext::setErrorMessage(wchar_t const* text) {
    wchar_t* copy = ux_strdup(text);
    clearErrorMessage();
    errorMessage_ = copy;
}

void XmlLoaderContext::setInvalidXmlFile(wchar_t const* fileName) {
    setErrorMessage(formMessage(INVALID_XML_FILE, L"The file {1} is not a well-formed XML file.", fileName));
}

void XmlLoaderContext::setNoLoaderFound(wchar_t const* rootTag) {
    setErrorMessage(formMessage(NO_LOADER_FOUND, L"No loader registered for XML document with root \"{1}\".", rootTag));
}

// ---- document loader ------------------------------------------------------------

bool XmlDocumentLoader::loadFile(wchar_t const* fileName, XmlLoaderContext* context) {
    if (fileName)
        AutomationLogger::log(L"Loading ", fileName, 1);
    else
        AutomationLogger::log(L"No filename specified", 1);
    XmlSmartPtr<TrelDOMDocument> document(fileName ? XmlObjectFactory::getInstance()->createDocument(fileName)
                                                   : nullptr);
    if (!document) {
        if (context) context->setInvalidXmlFile(fileName);
        return false;
    }
    return loadDocument(document, context);
}

// ---- registry -------------------------------------------------------------------

// Made once even when threads meet at the first use.
XmlLoaderRegistry* XmlLoaderRegistry::_instance = nullptr;

XmlLoaderRegistry* XmlLoaderRegistry::getInstance() {
    // A function-local static makes the first use safe from any thread.
    static bool const made = (_instance = new XmlLoaderRegistry(), true);
    (void)made;
    return _instance;
}

void XmlLoaderRegistry::registerLoader(XmlLoader* loader) { registerHandler(loader); }

XmlLoader* XmlLoaderRegistry::getLoader(wchar_t const* tag) const { return dynamic_cast<XmlLoader*>(getHandler(tag)); }

bool XmlLoaderRegistry::loadFile(wchar_t const* fileName, XmlLoaderContext* context) const {
    if (!fileName) return false;
    XmlLoader* loader = nullptr;
    {
        HostString rootTag(XML_UTILITIES::getRootTag(fileName));
        if (!rootTag.get()) {
            if (context) context->setInvalidXmlFile(fileName);
            return false;
        }
        loader = getInstance()->getLoader(rootTag.get());
        if (!loader) {
            if (context) context->setNoLoaderFound(rootTag.get());
            return false;
        }
    }
    return loader->loadFile(fileName, context);
}

bool XmlLoaderRegistry::loadDocument(TrelDOMDocument const* document, XmlLoaderContext* context) const {
    if (!document) return false;
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    wchar_t const* tag = root ? root->getTag() : NO_ROOT;
    XmlLoader* loader = getInstance()->getLoader(tag);
    if (!loader) {
        if (context) context->setNoLoaderFound(tag);
        return false;
    }
    return loader->loadDocument(document, context);
}
