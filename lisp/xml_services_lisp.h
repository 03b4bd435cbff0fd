// Lisp functions over the module's higher services: documents to text and
// back, comparison, unmarshalling, root tags and the loader registry.
// Registered by xml_lisp_initialize (xml_lisp_entry.cpp).
#pragma once

// (serialize-xml document) -> string or nil
void Lserialize_xml();
// (deserialize-xml string) -> document handle or nil
void Ldeserialize_xml();
// (compare-xml document document) -> t or nil
void Lcompare_xml();
// (unmarshal-xml document) -> untyped handle of a new object, or nil
void Lunmarshal_xml();
// (get-root-tag file) -> string or nil
void Lget_root_tag();
// (load-xml file &key :source) -> (:error-message e :display-message d :loaded flag)
void Lload_xml();
// (register-xml-loader tag &key :file-handler :document-handler) -> t
void Lregister_xml_loader();
