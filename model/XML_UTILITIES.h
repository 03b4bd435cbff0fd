// Whole-document chores over the abstract model: text round trips, the root
// tag of a file, the system-information element and showing a document in
// the desktop's XML viewer.
#pragma once

#include "model/TrelSAXContentHandler.h"

class TrelDOMDocument;
class TrelDOMElement;
class TrelDOMFactory;

class XML_UTILITIES {
public:
    XML_UTILITIES() = delete;

    // The document as text (caller frees with ux_strfree); null for a null
    // document or a failed save. With releaseDocument one reference of the
    // document is given back, so a caller can hand over its only one.
    static wchar_t* serialize(TrelDOMDocument* document, bool indent, bool releaseDocument);
    // The same as UTF-8 (caller frees with kx_free).
    static unsigned char* serializeToUTF8(TrelDOMDocument* document, bool indent, bool releaseDocument);
    // A document parsed from text, already holding one reference that belongs
    // to the caller (give it back with removeReference); null when the text
    // does not parse.
    static TrelDOMDocument* deserialize(wchar_t const* text);
    static TrelDOMDocument* deserialize(unsigned char const* utf8Text);
    // The local name of the file's root element (caller frees with
    // ux_strfree), or null. Reads no further than the first start tag.
    static wchar_t* getRootTag(wchar_t const* path);
    // A detached count-0 element with the children Application, Version,
    // Hostname, User, Date and Time, in that order; null on failure.
    static TrelDOMElement* systemInfoToXML(TrelDOMFactory const* factory, wchar_t const* tag,
                                           wchar_t const* namespaceURI);
    // Saves the document indented to `path` (a fresh temporary name when null),
    // ".xml" appended unless it ends so, and opens that file in the viewer.
    static void sendToBrowser(TrelDOMDocument const* document, wchar_t const* path);
};

// Stops the parse at the first start tag and keeps its local name.
class RootTagReader : public TrelSAXContentHandler {
public:
    RootTagReader() : TrelSAXContentHandler(true) {}
    ~RootTagReader() override;
    RootTagReader(RootTagReader const&) = delete;
    RootTagReader& operator=(RootTagReader const&) = delete;

    bool startElement(wchar_t const* tag, TrelSAXAttributes const* attributes) override;
    // Null until a start tag was seen; owned by the reader.
    wchar_t const* getRootTag() const { return rootTag_; }
    // Hands the tag over to the caller (who frees it with ux_strfree).
    wchar_t* releaseRootTag();

private:
    wchar_t* rootTag_ = nullptr;  // heap copy, freed with ux_strfree
};
