// The module's entry point and the Lisp data it exports to other modules of
// the host: the package XML, the three handle structure types, and the
// keywords its functions parse.
#pragma once

#include "platform/host/lisp_host.h"

extern LAOBJ* xml_package;

// Structure type symbols of document, element and attribute handles; nil
// until the first Lisp file of the module has defined them.
extern LAOBJ* xml_document_struct_def;
extern LAOBJ* xml_element_struct_def;
extern LAOBJ* xml_attribute_struct_def;

// :ENCODING :UTF-8 :UTF-16 :PRETTY-PRINT :ELEMENT :ATTRIBUTE :ATTRIBUTES
// :CHILD :CHILDREN :TEXT
extern LAOBJ* Kencoding;
extern LAOBJ* Kutf8;
extern LAOBJ* Kutf16;
extern LAOBJ* Kpretty_print;
extern LAOBJ* Kelement;
extern LAOBJ* Kattribute;
extern LAOBJ* Kattributes;
extern LAOBJ* Kchild;
extern LAOBJ* Kchildren;
extern LAOBJ* Ktext;

// Builds a Lisp list front to back. Linking through the last cons keeps
// long lists linear. Kept on the C stack while used, where the collector
// looks.
class LispListBuilder {
public:
    void append(LAOBJ* item) {
        LAOBJ* cell = make_cons(item, Cnil);
        if (list_ == Cnil)
            list_ = cell;
        else
            nconc(last_, cell);
        last_ = cell;
    }
    LAOBJ* list() const { return list_; }

private:
    LAOBJ* list_ = Cnil;
    LAOBJ* last_ = Cnil;
};

// Called by the host once the module is loaded. Registration runs once per
// process; later calls of any of these do nothing.
extern "C" void init_load_init();
void xml_lisp_initialize();
void trel_dom_lisp_initialize();
void trel_sax_lisp_initialize();

// Initializers of the module's two Lisp files, for hosts that load them
// compiled. This host loads them as source (see xml_lisp_entry.cpp).
void XmlLispFnc_initialize(char* start, int size, LAOBJ* data);
void bix_xml_initialize(char* start, int size, LAOBJ* data);
