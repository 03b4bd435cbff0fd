// The XML writer object: IMXWriter with its SAX content and lexical handlers.
#pragma once

#include <libxml/tree.h>

#include <string>
#include <vector>

#include "platform/msxml6/msxml6.h"
#include "platform/msxml6/com.h"
#include "platform/msxml6/writer_core.h"

namespace mx {

// Private bridge from the SAX reader to our writer, found by QueryInterface
// on the content handler. Lets a tree walk tell the writer which elements
// hold text (so indentation can leave them alone from their first child on),
// and lets the reader have the writer write a tree directly, with the same
// result as the events would give.
struct IWriterDirect : IUnknown {
    // The element of the next startElement has text among its children.
    virtual void hintMixed() = 0;
    // Writes `root` (document or node) as the events of a tree walk would;
    // `lexical`: the writer is also the lexical handler (comments, CDATA
    // sections and the document type are written).
    virtual HRESULT writeTree(xmlNodePtr root, bool lexical) = 0;

protected:
    ~IWriterDirect() = default;
};
inline constexpr IID IID_IWriterDirect = {0x51c1a7e0, 0x3b1d, 0x4c52, {0x9a, 0x10, 0x7e, 0x2f, 0x61, 0x0d, 0x44, 0x21}};

class MX_INTERNAL MXWriter final : public IMXWriter,
                                   public ISAXContentHandler,
                                   public ISAXLexicalHandler,
                                   public IWriterDirect,
                                   private RefCounted {
public:
    MXWriter();

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }

    // IMXWriter
    HRESULT put_output(VARIANT destination) override;
    HRESULT get_output(VARIANT* destination) override;
    HRESULT put_encoding(BSTR encoding) override;
    HRESULT put_indent(VARIANT_BOOL indent) override;
    HRESULT put_standalone(VARIANT_BOOL standalone) override;
    HRESULT flush() override { return out_.flush(); }

    // ISAXContentHandler
    HRESULT putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT startDocument() override { return out_.startDocument(); }
    HRESULT endDocument() override { return out_.endDocument(); }
    HRESULT startPrefixMapping(wchar_t const* prefix, int prefixLength, wchar_t const* uri, int uriLength) override;
    HRESULT endPrefixMapping(wchar_t const*, int) override { return S_OK; }
    HRESULT startElement(wchar_t const* uri, int uriLength, wchar_t const* localName, int localNameLength,
                         wchar_t const* qname, int qnameLength, ISAXAttributes* attributes) override;
    HRESULT endElement(wchar_t const* uri, int uriLength, wchar_t const* localName, int localNameLength,
                       wchar_t const* qname, int qnameLength) override;
    HRESULT characters(wchar_t const* chars, int length) override;
    HRESULT ignorableWhitespace(wchar_t const* chars, int length) override { return characters(chars, length); }
    HRESULT processingInstruction(wchar_t const* target, int targetLength, wchar_t const* data,
                                  int dataLength) override;
    HRESULT skippedEntity(wchar_t const*, int) override { return S_OK; }

    // ISAXLexicalHandler
    HRESULT startDTD(wchar_t const* name, int nameLength, wchar_t const* publicId, int publicIdLength,
                     wchar_t const* systemId, int systemIdLength) override;
    HRESULT endDTD() override { return out_.endDTD(); }
    HRESULT startEntity(wchar_t const*, int) override { return S_OK; }
    HRESULT endEntity(wchar_t const*, int) override { return S_OK; }
    HRESULT startCDATA() override { return out_.startCDATA(); }
    HRESULT endCDATA() override { return out_.endCDATA(); }
    HRESULT comment(wchar_t const* chars, int length) override;

    // IWriterDirect
    void hintMixed() override { nextMixed_ = true; }
    HRESULT writeTree(xmlNodePtr root, bool lexical) override;

private:
    ~MXWriter() override;

    // UTF-8 copy of a counted wide string, appended to scratch_; returns
    // its offset there (views are taken once scratch_ stops growing).
    size_t keep(wchar_t const* s, int length);
    std::string_view kept(size_t offset, size_t end) const;
    std::string_view qualifiedName(wchar_t const* localName, int localNameLength, wchar_t const* qname,
                                   int qnameLength);
    HRESULT collectAttributes(ISAXAttributes* attributes);
    void applyOptions() { out_.setOptions(options_); }

    WriterOptions options_;
    XmlOutput out_;
    bool nextMixed_ = false;

    // Reused for every event: no allocation per event once grown.
    std::string scratch_;
    std::vector<size_t> marks_;  // offsets into scratch_
    std::vector<AttrOut> attrs_;
    std::string declText_;           // pending prefix mappings, UTF-8
    std::vector<size_t> declMarks_;  // prefix begin, uri begin, uri end per mapping
    std::vector<NsDecl> decls_;
};

}  // namespace mx
