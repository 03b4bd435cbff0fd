// The fuzzer's expression selected from a fixed document, from the document
// and from an element.
#include "fuzz_support.h"

namespace {

wchar_t const kDocument[] =
    L"<?xml version='1.0'?><!--c--><r xmlns:p='urn:p' a='1' b='x y'>"
    L"<p:e id='1'>text<i n='2'/>tail</p:e><e id='2'><![CDATA[cd]]><?pi data?></e>"
    L"<e id='3' xml:lang='en'>3.5</e><k xmlns='urn:d'><m/></k></r>";

IXMLDOMDocument3* fixedDocument() {
    // Kept for the life of the process: no teardown order to get wrong.
    static IXMLDOMDocument3* doc = [] {
        auto d = fuzz::newDocument();
        if (!fuzz::loadText(d.get(), kDocument)) fuzz::fail("the fixed document does not load");
        return d.detach();
    }();
    return doc;
}

void select(IXMLDOMNode* context, BSTR expression) {
    fuzz::ComPtr<IXMLDOMNode> found;
    if (FAILED(context->selectSingleNode(expression, found.put())) || !found) return;
    // Attributes and namespace nodes are written only as part of their element.
    DOMNodeType type = NODE_INVALID;
    found->get_nodeType(&type);
    BSTR xml = nullptr;
    if (FAILED(found->get_xml(&xml))) {
        if (type != NODE_ATTRIBUTE) fuzz::fail("a selected node has no text");
        return;
    }
    fuzz::take(xml);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
    IXMLDOMDocument3* doc = fixedDocument();
    fuzz::Bstr expression(fuzz::fromUtf8(data, size));
    select(doc, expression);
    fuzz::ComPtr<IXMLDOMElement> root;
    doc->get_documentElement(root.put());
    if (!root) fuzz::fail("the fixed document lost its root");
    select(root.get(), expression);
    return 0;
}
