// Whole documents between files and handles: READ-XML, WRITE-XML and
// TRANSFORM-XML.
#include "lisp/DOMHandleCache.h"
#include "lisp/xml_lisp_private.h"
#include "model/TrelDOMDocument.h"
#include "model/XmlEncoding.h"
#include "model/XmlFailure.h"
#include "model/XmlObjectFactory.h"

// :UTF-16 gives UTF-16; everything else, :UTF-8 included, UTF-8.
XmlEncoding const& getEncoding(LAOBJ* keyword) { return keyword == Kutf16 ? XmlEncoding::UTF16 : XmlEncoding::UTF8; }

// file -> document handle; the cache's reference alone keeps the document.
void Lread_xml() {
    vs.check_arg(1);
    WideCopy path = copyString(vs_base[0]);
    if (!path) return setResult(Cnil);
    XmlSmartPtr<TrelDOMDocument> document(XmlObjectFactory::getInstance()->createDocument(path.get()));
    setResult(makeStructure(static_cast<TrelDOMDocument const*>(document)));
}

// document file &key :pretty-print (t) :encoding (:utf-8). Pretty printing
// only for t itself.
void Lwrite_xml() {
    if (vs.count() < 2) too_few_arguments();
    parse_key(vs_base + 2, false, false, 2, Kpretty_print, Kencoding);
    LAOBJ** key = vs_base + 2;
    LAOBJ* const pretty = key[2] != Cnil ? key[0] : Ct;  // supplied flags follow the values
    LAOBJ* const encoding = key[3] != Cnil ? key[1] : Kutf8;
    TrelDOMDocument* document = getDocument(vs_base[0]);
    if (!document) return setResult(Cnil);
    // A file name that is no string goes on as null: the save refuses it.
    WideCopy path = copyString(vs_base[1]);
    setResult(lispBool(document->save(path.get(), getEncoding(encoding), pretty == Ct)));
}

// document style-sheet-file output-file
void Ltransform_xml() {
    vs.check_arg(3);
    XmlSmartPtr<TrelDOMDocument> document(getDocument(vs_base[0]));
    if (!document) return setResult(Cnil);
    WideCopy stylesheet = copyString(vs_base[1]);
    WideCopy output = copyString(vs_base[2]);
    setResult(lispBool(stylesheet && output && document->transform(stylesheet.get(), output.get())));
}

// Why the thread's latest reading, parsing, writing or transforming call
// failed: (:message text [:file name] [:line n :column n]), or nil after a
// success. Only what applies is there.
void Llast_error() {
    vs.check_arg(0);
    XmlFailure const* failure = XmlLastFailure::get();
    if (!failure) return setResult(Cnil);
    LAOBJ* plist = Cnil;
    if (failure->line > 0) {
        plist = make_cons(make_keyword("COLUMN"), make_cons(make_fixnum(failure->column), plist));
        plist = make_cons(make_keyword("LINE"), make_cons(make_fixnum(failure->line), plist));
    }
    if (!failure->file.empty())
        plist = make_cons(make_keyword("FILE"), make_cons(makeLispString(failure->file.c_str()), plist));
    plist = make_cons(make_keyword("MESSAGE"), make_cons(makeLispString(failure->message.c_str()), plist));
    setResult(plist);
}
