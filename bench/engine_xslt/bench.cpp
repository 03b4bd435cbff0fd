// Cost of the engine's XSLT and XSD layers over libxslt/libxml2 doing the
// same work directly. Inputs are loaded once; only the transformation (with
// serialisation to a byte sink, or into a DOM document) and the validation
// are timed, in CPU seconds. Engine and direct runs alternate so that a busy
// machine slows both alike; the best run of each counts.
//
//   engine_xslt_bench model.xml sheet.xsl schema.xsd [runs]
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltutils.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/xslt_common.h"

using mx::BstrPtr;
template <class T>
using ComRef = mx::ComPtr<T>;

namespace {

[[noreturn]] void die(char const* what) {
    fprintf(stderr, "%s\n", what);
    exit(1);
}

struct Task {
    std::function<bool()> work;
    std::function<void()> prepare = [] {};  // before each run, not timed
};

// CPU time of this thread: on a shared machine it varies far less than the
// wall clock, and both sides do all their work on this thread.
double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double timeOnce(Task const& task) {
    task.prepare();
    double start = cpuSeconds();
    if (!task.work()) die("run failed");
    return cpuSeconds() - start;
}

void compare(char const* what, int runs, Task const& direct, Task const& engine) {
    double bestDirect = 1e30, bestEngine = 1e30;
    for (int i = 0; i < runs; ++i) {
        bestDirect = std::min(bestDirect, timeOnce(direct));
        bestEngine = std::min(bestEngine, timeOnce(engine));
    }
    printf("%-28s direct %7.3f s   engine %7.3f s   ratio %.2f   (CPU, best of %d)\n", what, bestDirect, bestEngine,
           bestEngine / bestDirect, runs);
}

// Counts what it is given; stands in for a file so that disk speed is not measured.
class NullStream final : public IStream {
public:
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *out = static_cast<IStream*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }  // lives on the stack
    ULONG Release() override { return 1; }
    HRESULT Read(void*, ULONG, ULONG* read) override {
        *read = 0;
        return S_FALSE;
    }
    HRESULT Write(void const*, ULONG size, ULONG* written) override {
        bytes += size;
        if (written) *written = size;
        return S_OK;
    }
    size_t bytes = 0;
};

int countBytes(void* sink, char const*, int length) {
    *static_cast<size_t*>(sink) += static_cast<size_t>(length);
    return length;
}

template <class T>
ComRef<T> create(CLSID const& clsid, IID const& iid) {
    ComRef<IClassFactory> factory;
    ComRef<T> object;
    if (SUCCEEDED(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.put()))))
        factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(object.put()));
    return object;
}

VARIANT pathVariant(char const* path) {
    std::string p(path);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(std::wstring(p.begin(), p.end()).c_str());
    return v;
}

VARIANT dispatch(IUnknown* object) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = static_cast<IDispatch*>(object);
    return v;
}

ComRef<IXMLDOMDocument3> loadDom(char const* path) {
    auto doc = create<IXMLDOMDocument3>(CLSID_FreeThreadedDOMDocument60, IID_IXMLDOMDocument3);
    VARIANT source = pathVariant(path);
    VARIANT_BOOL ok = VARIANT_FALSE;
    bool loaded = doc && SUCCEEDED(doc->load(source, &ok)) && ok;
    VariantClear(&source);
    if (!loaded) die("the engine could not load an input");
    return doc;
}

// libxslt numbers the elements of a fresh input once and trusts the numbers
// on later runs; each direct run starts from an unnumbered tree, as every
// engine run does.
void dropOrder(xmlNodePtr n) {
    for (; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE) {
            n->content = nullptr;
            dropOrder(n->children);
        }
}

Task directToBytes(xmlDocPtr input, xsltStylesheetPtr sheet, size_t& bytes) {
    return {[=, &bytes] {
                bytes = 0;
                xmlDocPtr result = xsltApplyStylesheet(sheet, input, nullptr);
                xmlOutputBufferPtr out = xmlOutputBufferCreateIO(countBytes, nullptr, &bytes, nullptr);
                bool ok = result && xsltSaveResultTo(out, result, sheet) >= 0;
                xmlOutputBufferClose(out);
                xmlFreeDoc(result);
                return ok;
            },
            [=] { dropOrder(input->children); }};
}

Task directToDocument(xmlDocPtr input, xsltStylesheetPtr sheet) {
    return {[=] {
                xmlDocPtr result = xsltApplyStylesheet(sheet, input, nullptr);
                xmlFreeDoc(result);
                return result != nullptr;
            },
            [=] { dropOrder(input->children); }};
}

Task engineTo(IXSLProcessor* processor, VARIANT output, std::function<void()> prepare = [] {}) {
    return {[=] {
                VARIANT_BOOL done = VARIANT_FALSE;
                return SUCCEEDED(processor->put_output(output)) && SUCCEEDED(processor->transform(&done)) && done;
            },
            std::move(prepare)};
}

// Two baselines: libxslt on the engine's own tree (the layer's cost alone)
// and on a tree parsed as lxml parses by default (white space kept).
void benchXslt(char const* modelPath, char const* sheetPath, int runs) {
    auto dom = loadDom(modelPath);
    auto sheetDom = loadDom(sheetPath);
    auto target = create<IXMLDOMDocument3>(CLSID_FreeThreadedDOMDocument60, IID_IXMLDOMDocument3);
    auto xslt = create<IXSLTemplate>(CLSID_XSLTemplate60, IID_IXSLTemplate);
    ComRef<IXSLProcessor> processor;
    if (!xslt || !target || FAILED(xslt->putref_stylesheet(sheetDom.get())) ||
        FAILED(xslt->createProcessor(processor.put())) || FAILED(processor->put_input(dispatch(dom.get()))))
        die("engine set-up failed");

    mx::ExternalAccess files(true);  // the engine's entity loader guards file reads; these are ours
    xsltStylesheetPtr sheet = xsltParseStylesheetFile(BAD_CAST sheetPath);
    xmlDocPtr ownParse = xmlReadFile(modelPath, nullptr, XML_PARSE_NONET | XML_PARSE_BIG_LINES);
    if (!sheet || !ownParse) die("direct set-up failed");

    NullStream sink;
    VARIANT toSink;
    VariantInit(&toSink);
    toSink.vt = VT_UNKNOWN;
    toSink.punkVal = &sink;
    size_t directBytes = 0;
    xmlDocPtr sameTree = mx::engineDocOf(dom.get());
    auto restart = [&sink] { sink.bytes = 0; };
    compare("xslt -> bytes (same tree)", runs, directToBytes(sameTree, sheet, directBytes),
            engineTo(processor.get(), toSink, restart));
    compare("xslt -> DOM   (same tree)", runs, directToDocument(sameTree, sheet),
            engineTo(processor.get(), dispatch(target.get())));
    compare("xslt -> bytes (blanks kept)", runs, directToBytes(ownParse, sheet, directBytes),
            engineTo(processor.get(), toSink, restart));
    printf("xslt output bytes: engine %zu, direct %zu\n", sink.bytes, directBytes);
    // What the engine would pay on every run if it always worked on a copy
    // (it does only for sheets with xsl:strip-space).
    double copy = 1e30;
    for (int i = 0; i < runs; ++i)
        copy = std::min(copy, timeOnce({[=] {
                            xmlDocPtr c = xmlCopyDoc(sameTree, 1);
                            xmlFreeDoc(c);
                            return c != nullptr;
                        }}));
    printf("%-28s %.3f s (CPU, best of %d)\n", "copy + free of the input", copy, runs);
    xmlFreeDoc(ownParse);
    xsltFreeStylesheet(sheet);
}

void benchXsd(char const* modelPath, char const* schemaPath, int runs) {
    auto dom = loadDom(modelPath);
    auto collection = create<IXMLDOMSchemaCollection2>(CLSID_XMLSchemaCache60, IID_IXMLDOMSchemaCollection2);
    auto schemaDom = loadDom(schemaPath);
    BstrPtr noNamespace(SysAllocString(L""));
    bool ready = collection && SUCCEEDED(collection->add(noNamespace.get(), dispatch(schemaDom.get()))) &&
                 SUCCEEDED(dom->putref_schemas(dispatch(collection.get())));
    if (!ready) die("engine schema set-up failed");

    mx::ExternalAccess files(true);
    xmlSchemaParserCtxtPtr pc = xmlSchemaNewParserCtxt(schemaPath);
    xmlSchemaPtr schema = xmlSchemaParse(pc);
    xmlSchemaFreeParserCtxt(pc);
    if (!schema) die("direct schema set-up failed");
    xmlDocPtr sameTree = mx::engineDocOf(dom.get());
    Task direct{[=] {
        xmlSchemaValidCtxtPtr vc = xmlSchemaNewValidCtxt(schema);
        int rc = xmlSchemaValidateDoc(vc, sameTree);
        xmlSchemaFreeValidCtxt(vc);
        return rc == 0;
    }};
    Task engine{[&] {
        ComRef<IXMLDOMParseError> error;
        return dom->validate(error.put()) == S_OK;
    }};
    compare("xsd validation (same tree)", runs, direct, engine);
    xmlSchemaFree(schema);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s model.xml sheet.xsl schema.xsd [runs]\n", argv[0]);
        return 2;
    }
    int runs = argc > 4 ? std::max(1, atoi(argv[4])) : 3;
    mx::ensureInit();
    benchXslt(argv[1], argv[2], runs);
    benchXsd(argv[1], argv[3], runs);
    return 0;
}
