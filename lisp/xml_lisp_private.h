// Inside the module: the keywords no other module sees, the Lisp function
// handlers, and the registration tables that list them.
#pragma once

#include "lisp/xml_lisp.h"

#include <memory>

#define XML_LISP_PRIVATE __attribute__((visibility("hidden")))

class MODULE_DEBUG;
// The module's debug switch, "XML" (platform/host/module_debug.h).
extern MODULE_DEBUG XML_debug_module;

// Keywords of LOAD-XML, REGISTER-XML-LOADER and friends.
extern LAOBJ* Kloaded XML_LISP_PRIVATE;
extern LAOBJ* Kdisplay_message XML_LISP_PRIVATE;
extern LAOBJ* Kerror_message XML_LISP_PRIVATE;
extern LAOBJ* Ksource XML_LISP_PRIVATE;
extern LAOBJ* Kdirect XML_LISP_PRIVATE;
extern LAOBJ* Kdatabase XML_LISP_PRIVATE;
extern LAOBJ* Kfile_handler XML_LISP_PRIVATE;
extern LAOBJ* Kdocument_handler XML_LISP_PRIVATE;

// Keywords of PARSE-XML.
extern LAOBJ* Kon_start_document XML_LISP_PRIVATE;
extern LAOBJ* Kon_end_document XML_LISP_PRIVATE;
extern LAOBJ* Kon_start_element XML_LISP_PRIVATE;
extern LAOBJ* Kon_end_element XML_LISP_PRIVATE;
extern LAOBJ* Kon_characters XML_LISP_PRIVATE;
extern LAOBJ* Kon_error XML_LISP_PRIVATE;

// Lisp function handlers, in registration order. Each is defined next to
// its family; a handler is listed in the tables of xml_lisp_entry.cpp once
// it works.
void Lread_xml();
void Lwrite_xml();
void Ltransform_xml();
void Lcompare_xml();
void Lserialize_xml();
void Ldeserialize_xml();
void Lunmarshal_xml();
void Lget_root_tag();
void Lload_xml();
void Lregister_xml_loader();
void Llast_error();
void Ldocument_create();
void Ldocument_dispose();
void Ldocument_get_root();
void Ldocument_set_root();
void Ldocument_select_node();
void Lattribute_get_value();
void Lattribute_set_value();
void Lelement_create();
void Lelement_get_tag();
void Lelement_get_child();
void Lelement_get_children();
void Lelement_get_named_children();
void Lelement_add_child();
void Lelement_get_text();
void Lelement_set_text();
void Lelement_get_attributes();
void Lelement_get_attribute();
void Lelement_set_attribute();
void Lelement_get_parent();
void Lelement_get_document();
void Lxml_list_create_element();
void Lxml_list_add_attribute();
void Lxml_list_add_child();
void Lxml_list_to_document();
void Lelement_to_list();
void Ldocument_to_list();
void Llist_to_document();
void Lread_xml_list();
void Lclear_xml_cache();
void Lparse_xml();

class XmlEncoding;
// The output encoding a keyword names: :UTF-16, or UTF-8 for anything else.
XmlEncoding const& getEncoding(LAOBJ* keyword);

// ------------------------------------------------------ helpers of handlers

// The one result of a handler.
inline void setResult(LAOBJ* value) {
    vs_base[0] = value;
    vs_top = vs_base + 1;
}

inline LAOBJ* lispBool(bool value) { return value ? Ct : Cnil; }

// A readString copy, freed on every path; null for anything but a string
// and for a string holding a NUL, so that every function refuses such a
// string (nil) instead of acting on a shortened one. Take copies only after
// the argument checks, which leave non-locally.
using WideCopy = std::unique_ptr<wchar_t[]>;
inline WideCopy copyString(LAOBJ* object) { return WideCopy(readString(object)); }

// A string argument that copyString refuses: it holds a NUL.
inline bool isUnreadableString(LAOBJ* object, WideCopy const& copy) { return !copy && type_of(object) == kind_string; }
