// PARSE-XML and the SAX handlers that call Lisp.
#include "lisp/LispSAX.h"

#include "lisp/xml_lisp_private.h"
#include "model/TrelSAXXMLReader.h"

template class XmlSmartPtr<LispContentHandler>;
template class XmlSmartPtr<LispErrorHandler>;

// ------------------------------------------------------------------ visitor

bool LispSAXAttributeVisitor::visit(wchar_t const* name, wchar_t const* value) {
    pairs_.append(make_cons(makeLispString(name), makeLispString(value)));
    return true;
}

// ---------------------------------------------------------- content handler

LispContentHandler::LispContentHandler(LAOBJ* startDocument, LAOBJ* endDocument, LAOBJ* startElement, LAOBJ* endElement,
                                       LAOBJ* characters)
    : TrelSAXContentHandler(true),
      startDocument_(startDocument),
      endDocument_(endDocument),
      startElement_(startElement),
      endElement_(endElement),
      characters_(characters) {}

bool LispContentHandler::callWithoutArguments(LispRoot const& function) {
    if (function.get() == Cnil) return true;
    return exit_->run([&] { return ifuncall(function.get(), 0) != Cnil; });
}

bool LispContentHandler::startDocument() { return callWithoutArguments(startDocument_); }

bool LispContentHandler::endDocument() { return callWithoutArguments(endDocument_); }

bool LispContentHandler::startElement(wchar_t const* tag, TrelSAXAttributes const* attributes) {
    if (startElement_.get() == Cnil) return true;
    return exit_->run([&] {
        LAOBJ* name = makeLispString(tag);
        LispSAXAttributeVisitor collected;
        if (attributes) attributes->scan(&collected);
        return ifuncall2(startElement_.get(), name, collected.list()) != Cnil;
    });
}

bool LispContentHandler::endElement(wchar_t const* tag) {
    if (endElement_.get() == Cnil) return true;
    return exit_->run([&] { return ifuncall1(endElement_.get(), makeLispString(tag)) != Cnil; });
}

bool LispContentHandler::characters(wchar_t const* text) {
    if (characters_.get() == Cnil) return true;
    return exit_->run([&] { return ifuncall1(characters_.get(), makeLispString(text)) != Cnil; });
}

// ------------------------------------------------------------ error handler

LispErrorHandler::LispErrorHandler(LAOBJ* fatalError) : fatalError_(fatalError) {}

void LispErrorHandler::fatalError(int line, int column, wchar_t const* message) {
    if (fatalError_.get() == Cnil) return;
    exit_->run([&] {
        ifuncall3(fatalError_.get(), make_fixnum(line), make_fixnum(column), makeLispString(message));
        return true;
    });
}

// ---------------------------------------------------------------- PARSE-XML

// file &key :on-start-document :on-end-document :on-start-element
//           :on-end-element :on-characters :on-error
void Lparse_xml() {
    if (vs.count() < 1) too_few_arguments();
    parse_key(vs_base + 1, false, false, 6, Kon_start_document, Kon_end_document, Kon_start_element, Kon_end_element,
              Kon_characters, Kon_error);
    LAOBJ** key = vs_base + 1;
    WideCopy path = copyString(vs_base[0]);
    if (!path) return setResult(Cnil);
    // Outlives both handlers, which point to it.
    LispExitLatch exit;
    XmlSmartPtr<LispContentHandler> content(new LispContentHandler(key[0], key[1], key[2], key[3], key[4]));
    XmlSmartPtr<LispErrorHandler> errors(new LispErrorHandler(key[5]));
    content->useExitLatch(&exit);
    errors->useExitLatch(&exit);
    bool const parsed = TrelSAXXMLReader::parseFile(path.get(), content, errors);
    exit.resume();
    setResult(lispBool(parsed));
}
