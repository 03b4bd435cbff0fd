// SERIALIZE-XML, DESERIALIZE-XML, COMPARE-XML, UNMARSHAL-XML, GET-ROOT-TAG,
// LOAD-XML and REGISTER-XML-LOADER.
//
// Every C++ object a handler owns is held by RAII: argument errors and Lisp
// exits out of a loader's functions leave these handlers as exceptions.
#include "lisp/xml_services_lisp.h"

#include "compare/TrelDOMComparator.h"
#include "lisp/DOMHandleCache.h"
#include "lisp/LispXmlLoader.h"
#include "lisp/xml_lisp_private.h"
#include "model/TrelDOMDocument.h"
#include "model/XML_UTILITIES.h"
#include "platform/host/ux_string.h"
#include "registry/XmlLoaderContext.h"
#include "registry/XmlLoaderRegistry.h"
#include "unmarshal/Unmarshallable.h"
#include "unmarshal/Unmarshaller.h"

#include <memory>

namespace {

struct HostStringFree {
    void operator()(wchar_t* text) const { ux_strfree(text); }
};
// Text allocated by the host's string functions (ux_strfree).
using HostString = std::unique_ptr<wchar_t, HostStringFree>;

struct ReferenceRelease {
    void operator()(TrelDOMDocument* document) const { document->removeReference(); }
};
// A reference handed over by the callee, given back on every path.
using HandedReference = std::unique_ptr<TrelDOMDocument, ReferenceRelease>;

LAOBJ* lispStringOf(HostString const& text) { return makeLispString(text.get()); }

// (:LOADED flag), with :DISPLAY-MESSAGE and :ERROR-MESSAGE in front of it
// when the context has them.
LAOBJ* loadResult(bool loaded, XmlLoaderContext const& context) {
    LAOBJ* result = make_cons(Kloaded, make_cons(lispBool(loaded), Cnil));
    LAOBJ* display = makeLispString(context.getDisplayMessage());
    if (display != Cnil) result = make_cons(Kdisplay_message, make_cons(display, result));
    LAOBJ* error = makeLispString(context.getErrorMessage());
    if (error != Cnil) result = make_cons(Kerror_message, make_cons(error, result));
    return result;
}

}  // namespace

void Lserialize_xml() {
    vs.check_arg(1);
    HostString text(XML_UTILITIES::serialize(getDocument(vs_base[0]), false, false));
    setResult(lispStringOf(text));
}

// The new document is kept by its handle-cache entry alone, as for READ-XML.
void Ldeserialize_xml() {
    vs.check_arg(1);
    WideCopy text = copyString(vs_base[0]);
    if (!text) return setResult(Cnil);
    HandedReference document(XML_UTILITIES::deserialize(text.get()));
    text.reset();
    if (!document) return setResult(Cnil);
    setResult(makeStructure(static_cast<TrelDOMDocument const*>(document.get())));
}

// Only the verdict leaves this function, so no locator is passed: nobody can
// observe where a difference was, and the comparator may pair children by
// content digest instead of trying candidates one by one. A missing (or
// stale) document is a failure, not an equality.
void Lcompare_xml() {
    vs.check_arg(2);
    TrelDOMDocument const* first = getDocument(vs_base[0]);
    TrelDOMDocument const* second = getDocument(vs_base[1]);
    if (!first || !second) return setResult(Cnil);
    TrelDOMComparator const comparator;
    setResult(lispBool(comparator.compareTree(first, second, nullptr)));
}

// The object belongs to the caller from here on: the handle does not free it.
void Lunmarshal_xml() {
    vs.check_arg(1);
    Unmarshaller const unmarshaller(UnmarshallableObjectFactory::getInstance());
    std::unique_ptr<Unmarshallable> object(unmarshaller.unmarshal(getDocument(vs_base[0])));
    if (!object) return setResult(Cnil);
    LAOBJ* handle = make_handle(object.get());
    object.release();
    setResult(handle);
}

void Lget_root_tag() {
    vs.check_arg(1);
    WideCopy path = copyString(vs_base[0]);
    HostString tag(XML_UTILITIES::getRootTag(path.get()));
    setResult(lispStringOf(tag));
}

void Lload_xml() {
    if (vs.count() < 1) too_few_arguments();
    parse_key(vs_base + 1, false, false, 1, Ksource);
    XmlLoaderContext context(vs_base[1] == Kdatabase ? XmlLoaderContext::DATABASE : XmlLoaderContext::DIRECT);
    bool loaded;
    {
        WideCopy path = copyString(vs_base[0]);
        if (isUnreadableString(vs_base[0], path)) return setResult(Cnil);
        loaded = XmlLoaderRegistry::getInstance()->loadFile(path.get(), &context);
    }
    setResult(loadResult(loaded, context));
}

// The registry owns the loader; a later loader for the same tag is never
// asked, since the first registration wins.
void Lregister_xml_loader() {
    if (vs.count() < 1) too_few_arguments();
    parse_key(vs_base + 1, false, false, 2, Kfile_handler, Kdocument_handler);
    LAOBJ* const fileHandler = vs_base[1];
    LAOBJ* const documentHandler = vs_base[2];
    WideCopy tag = copyString(vs_base[0]);
    if (isUnreadableString(vs_base[0], tag)) return setResult(Cnil);
    XmlLoaderRegistry::getInstance()->registerLoader(new LispXmlLoader(tag.get(), fileHandler, documentHandler));
    setResult(Ct);
}
