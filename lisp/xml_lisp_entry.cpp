// The module's entry point: finds the package XML, makes the keywords,
// registers the Lisp functions and has the host load the module's two Lisp
// files, in a fixed order, once per process.
#include "lisp/xml_lisp_private.h"
#include "lisp/xml_services_lisp.h"

#include "platform/host/module_debug.h"

#include <new>

// ------------------------------------------------------------ exported data

LAOBJ* xml_package = Cnil;
LAOBJ* xml_document_struct_def = Cnil;
LAOBJ* xml_element_struct_def = Cnil;
LAOBJ* xml_attribute_struct_def = Cnil;

LAOBJ* Kencoding = Cnil;
LAOBJ* Kutf8 = Cnil;
LAOBJ* Kutf16 = Cnil;
LAOBJ* Kpretty_print = Cnil;
LAOBJ* Kloaded = Cnil;
LAOBJ* Kdisplay_message = Cnil;
LAOBJ* Kerror_message = Cnil;
LAOBJ* Ksource = Cnil;
LAOBJ* Kdirect = Cnil;
LAOBJ* Kdatabase = Cnil;
LAOBJ* Kelement = Cnil;
LAOBJ* Kattribute = Cnil;
LAOBJ* Kattributes = Cnil;
LAOBJ* Kchild = Cnil;
LAOBJ* Kchildren = Cnil;
LAOBJ* Ktext = Cnil;
LAOBJ* Kfile_handler = Cnil;
LAOBJ* Kdocument_handler = Cnil;

LAOBJ* Kon_start_document = Cnil;
LAOBJ* Kon_end_document = Cnil;
LAOBJ* Kon_start_element = Cnil;
LAOBJ* Kon_end_element = Cnil;
LAOBJ* Kon_characters = Cnil;
LAOBJ* Kon_error = Cnil;

// The module's debug switch ("XML", level 1), destroyed when the module is
// unloaded.
MODULE_DEBUG XML_debug_module("XML", 1);

namespace {

// The module's threads are not announced. Constructed at load and, unlike
// the debug module, never destroyed.
alignas(DISABLE_THREAD_NOTIFICATIONS) unsigned char thread_switch_storage[sizeof(DISABLE_THREAD_NOTIFICATIONS)];
DISABLE_THREAD_NOTIFICATIONS* const xml_thread_notifications =
    new (thread_switch_storage) DISABLE_THREAD_NOTIFICATIONS("xml");

// ------------------------------------------------------- registration tables
// One table per start-up step, in registration order. A handler is listed
// (uncommented) once it works; nothing is registered before that.

struct LispFunctionEntry {
    char const* name;
    void (*handler)();
};

// Registered by xml_lisp_initialize.
// One entry a line:
// clang-format off
LispFunctionEntry const documentFunctions[] = {
    {"READ-XML", Lread_xml},
    {"WRITE-XML", Lwrite_xml},
    {"TRANSFORM-XML", Ltransform_xml},
    {"COMPARE-XML", Lcompare_xml},
    {"SERIALIZE-XML", Lserialize_xml},
    {"DESERIALIZE-XML", Ldeserialize_xml},
    {"UNMARSHAL-XML", Lunmarshal_xml},
    {"GET-ROOT-TAG", Lget_root_tag},
    {"LOAD-XML", Lload_xml},
    {"REGISTER-XML-LOADER", Lregister_xml_loader},
    {"LAST-ERROR", Llast_error},
    {nullptr, nullptr},
};
// clang-format on

// Registered by trel_dom_lisp_initialize.
LispFunctionEntry const domFunctions[] = {
    {"DOCUMENT-CREATE", Ldocument_create},
    {"DOCUMENT-DISPOSE", Ldocument_dispose},
    {"DOCUMENT-GET-ROOT", Ldocument_get_root},
    {"DOCUMENT-SET-ROOT", Ldocument_set_root},
    {"DOCUMENT-SELECT-NODE", Ldocument_select_node},
    {"ATTRIBUTE-GET-VALUE", Lattribute_get_value},
    {"ATTRIBUTE-SET-VALUE", Lattribute_set_value},
    {"ELEMENT-CREATE", Lelement_create},
    {"ELEMENT-GET-TAG", Lelement_get_tag},
    {"ELEMENT-GET-CHILD", Lelement_get_child},
    {"ELEMENT-GET-CHILDREN", Lelement_get_children},
    {"ELEMENT-GET-NAMED-CHILDREN", Lelement_get_named_children},
    {"ELEMENT-ADD-CHILD", Lelement_add_child},
    {"ELEMENT-GET-TEXT", Lelement_get_text},
    {"ELEMENT-SET-TEXT", Lelement_set_text},
    {"ELEMENT-GET-ATTRIBUTES", Lelement_get_attributes},
    {"ELEMENT-GET-ATTRIBUTE", Lelement_get_attribute},
    {"ELEMENT-SET-ATTRIBUTE", Lelement_set_attribute},
    {"ELEMENT-GET-PARENT", Lelement_get_parent},
    {"ELEMENT-GET-DOCUMENT", Lelement_get_document},
    {"XML-LIST-CREATE-ELEMENT", Lxml_list_create_element},
    {"XML-LIST-ADD-ATTRIBUTE", Lxml_list_add_attribute},
    {"XML-LIST-ADD-CHILD", Lxml_list_add_child},
    {"XML-LIST-TO-DOCUMENT", Lxml_list_to_document},
    {"ELEMENT-TO-LIST", Lelement_to_list},
    {"DOCUMENT-TO-LIST", Ldocument_to_list},
    {"LIST-TO-DOCUMENT", Llist_to_document},
    {"READ-XML-LIST", Lread_xml_list},
    {"CLEAR-XML-CACHE", Lclear_xml_cache},
    {nullptr, nullptr},
};

// Registered by trel_sax_lisp_initialize.
LispFunctionEntry const saxFunctions[] = {
    {"PARSE-XML", Lparse_xml},
    {nullptr, nullptr},
};

int init_load_init_done = 0;
int xml_lisp_initialize_done = 0;
int trel_dom_lisp_initialize_done = 0;
int trel_sax_lisp_initialize_done = 0;

int register_functions(LispFunctionEntry const* table) {
    int count = 0;
    for (; table->name; ++table, ++count) make_package_function(table->name, table->handler, xml_package, 2);
    return count;
}

void make_document_keywords() {
    Kencoding = make_keyword("ENCODING");
    Kutf8 = make_keyword("UTF-8");
    Kutf16 = make_keyword("UTF-16");
    Kpretty_print = make_keyword("PRETTY-PRINT");
    Kloaded = make_keyword("LOADED");
    Kdisplay_message = make_keyword("DISPLAY-MESSAGE");
    Kerror_message = make_keyword("ERROR-MESSAGE");
    Ksource = make_keyword("SOURCE");
    Kdirect = make_keyword("DIRECT");
    Kdatabase = make_keyword("DATABASE");
    Kelement = make_keyword("ELEMENT");
    Kattribute = make_keyword("ATTRIBUTE");
    Kattributes = make_keyword("ATTRIBUTES");
    Kchild = make_keyword("CHILD");
    Kchildren = make_keyword("CHILDREN");
    Ktext = make_keyword("TEXT");
    Kfile_handler = make_keyword("FILE-HANDLER");
    Kdocument_handler = make_keyword("DOCUMENT-HANDLER");
}

void make_sax_keywords() {
    Kon_start_document = make_keyword("ON-START-DOCUMENT");
    Kon_end_document = make_keyword("ON-END-DOCUMENT");
    Kon_start_element = make_keyword("ON-START-ELEMENT");
    Kon_end_element = make_keyword("ON-END-ELEMENT");
    Kon_characters = make_keyword("ON-CHARACTERS");
    Kon_error = make_keyword("ON-ERROR");
}

}  // namespace

// ---------------------------------------------------------------- start-up

extern "C" void init_load_init() {
    if (init_load_init_done) return;
    init_load_init_done = 1;
    xml_lisp_initialize();
}

void xml_lisp_initialize() {
    if (xml_lisp_initialize_done) return;
    xml_lisp_initialize_done = 1;
    xml_package = find_package(make_simple_string("XML"));
    make_document_keywords();
    int const count = register_functions(documentFunctions);
    XML_debug_module.print(2, "%d document-level Lisp functions registered", count);
    // Defines the three handle structure types.
    zel_load_and_compile_lisp("xml/lsp/XmlLispFnc", "xml/l", false, true);
    trel_dom_lisp_initialize();
    trel_sax_lisp_initialize();
    // Aliases of the functions registered above.
    zel_load_and_compile_lisp("xml/lsp/bix_xml", "xml/l", false, true);
}

void trel_dom_lisp_initialize() {
    if (trel_dom_lisp_initialize_done) return;
    trel_dom_lisp_initialize_done = 1;
    xml_document_struct_def = zel_find_symbol("XML-DOCUMENT-STRUCT", xml_package);
    xml_element_struct_def = zel_find_symbol("XML-ELEMENT-STRUCT", xml_package);
    xml_attribute_struct_def = zel_find_symbol("XML-ATTRIBUTE-STRUCT", xml_package);
    int const count = register_functions(domFunctions);
    XML_debug_module.print(2, "%d DOM and list Lisp functions registered", count);
}

void trel_sax_lisp_initialize() {
    if (trel_sax_lisp_initialize_done) return;
    trel_sax_lisp_initialize_done = 1;
    make_sax_keywords();
    int const count = register_functions(saxFunctions);
    XML_debug_module.print(2, "%d SAX Lisp functions registered", count);
}

// The host that loads the module's Lisp files compiled calls these with the
// code and its constants. This host loads lsp/XmlLispFnc.lsp and
// lsp/bix_xml.lsp as source, which define the structure types and the
// aliases themselves, so there is nothing left to do here.
void XmlLispFnc_initialize(char*, int, LAOBJ*) {}
void bix_xml_initialize(char*, int, LAOBJ*) {}
