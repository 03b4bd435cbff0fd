// Cost of the engine's SAX reader and indented saving over libxml2 doing the
// same work directly, best of N runs, interleaved.
//
// SAX: a counting content handler that touches every element name,
// attribute name and value and every text, against libxml2's SAX2 parser
// with a handler touching the same, both reading the file in pieces.
// Indented save: a DOM document through the reader into the writer (as the
// module's pretty-printing save does), against libxml2's own formatter on
// the same tree; once into a file (with fsync on both sides: the engine's
// file stream syncs before it replaces the target) and once into a sink
// that only counts bytes, which leaves the disk out.
//
//   engine_sax_bench model.xml out-dir [runs] [sax|save|sax-engine|sax-libxml2]
//   (the last argument runs one part or one side only: for profilers)
#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/xmlsave.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/msxml6.h"
#include "platform/msxml6/com.h"

using mx::ComPtr;

namespace {

// The machine may be shared: work is measured in CPU time of this process
// (user + system), which other processes do not inflate; wall time is kept
// for the report.
struct Time {
    double cpu = 1e30, wall = 1e30;
};

double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

Time measure(std::function<bool()> const& work) {
    auto wall = std::chrono::steady_clock::now();
    double cpu = cpuNow();
    if (!work()) {
        fprintf(stderr, "run failed\n");
        exit(1);
    }
    return Time{cpuNow() - cpu, std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count()};
}

void keepBest(Time& best, Time t) {
    best.cpu = std::min(best.cpu, t.cpu);
    best.wall = std::min(best.wall, t.wall);
}

// Runs a and b alternately; best times of each.
std::pair<Time, Time> race(int runs, std::function<bool()> const& a, std::function<bool()> const& b) {
    Time ba, bb;
    for (int i = 0; i < runs; ++i) {
        keepBest(ba, measure(a));
        keepBest(bb, measure(b));
    }
    return {ba, bb};
}

long peakRssMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

// ---- SAX: libxml2 directly ---------------------------------------------------------

struct Tally {
    size_t elements = 0, attributes = 0, bytes = 0, text = 0;
    // Lengths are counted in bytes on one side, characters on the other:
    // they do not take part in the comparison.
    bool operator==(Tally const& o) const { return elements == o.elements && attributes == o.attributes; }
};

void rawStart(void* ctx, xmlChar const* local, xmlChar const* prefix, xmlChar const*, int, xmlChar const**,
              int nbAttributes, int, xmlChar const** attrs) {
    auto* t = static_cast<Tally*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
    ++t->elements;
    size_t n = strlen(reinterpret_cast<char const*>(local));
    t->bytes += n + (prefix ? strlen(reinterpret_cast<char const*>(prefix)) + 1 + n : n);
    for (int i = 0; i < nbAttributes; ++i) {
        ++t->attributes;
        t->bytes += strlen(reinterpret_cast<char const*>(attrs[5 * i])) +
                    static_cast<size_t>(attrs[5 * i + 4] - attrs[5 * i + 3]);
    }
}

void rawCharacters(void* ctx, xmlChar const* ch, int len) {
    static_cast<Tally*>(static_cast<xmlParserCtxtPtr>(ctx)->_private)->text += static_cast<size_t>(len) + (ch[0] & 1);
}

int fdRead(void* fd, char* buffer, int len) {
    int done = 0;
    while (done < len) {
        ssize_t n = read(static_cast<int>(reinterpret_cast<intptr_t>(fd)), buffer + done, static_cast<size_t>(len - done));
        if (n <= 0) break;
        done += static_cast<int>(n);
    }
    return done;
}

bool libxml2Sax(char const* path, Tally& t) {
    xmlSAXHandler h;
    memset(&h, 0, sizeof h);
    xmlSAXVersion(&h, 2);
    h.startElementNs = rawStart;
    h.endElementNs = nullptr;
    h.characters = h.ignorableWhitespace = h.cdataBlock = rawCharacters;
    h.comment = nullptr;
    h.processingInstruction = nullptr;
    int fd = open(path, O_RDONLY);
    if (fd < 0) return false;
    xmlParserCtxtPtr ctxt = xmlCreateIOParserCtxt(&h, nullptr, fdRead, nullptr,
                                                  reinterpret_cast<void*>(static_cast<intptr_t>(fd)), XML_CHAR_ENCODING_NONE);
    xmlCtxtUseOptions(ctxt, XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_BIG_LINES);
    t = Tally{};
    ctxt->_private = &t;
    int rc = xmlParseDocument(ctxt);
    bool ok = rc == 0 && ctxt->wellFormed;
    if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
    xmlFreeParserCtxt(ctxt);
    close(fd);
    return ok;
}

// ---- SAX: through the engine ------------------------------------------------------------

class Counter final : public ISAXContentHandler {
public:
    Tally t;
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_ISAXContentHandler) {
            *out = static_cast<ISAXContentHandler*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT startDocument() override { return S_OK; }
    HRESULT endDocument() override { return S_OK; }
    HRESULT startPrefixMapping(wchar_t const*, int, wchar_t const*, int) override { return S_OK; }
    HRESULT endPrefixMapping(wchar_t const*, int) override { return S_OK; }
    HRESULT startElement(wchar_t const*, int, wchar_t const* local, int localLength, wchar_t const*,
                         int qnameLength, ISAXAttributes* attributes) override {
        ++t.elements;
        t.bytes += static_cast<size_t>(localLength + qnameLength) + static_cast<size_t>(local[0] & 1);
        int n = 0;
        attributes->getLength(&n);
        for (int i = 0; i < n; ++i) {
            wchar_t const *name, *value;
            int nl, vl;
            attributes->getLocalName(i, &name, &nl);
            attributes->getValue(i, &value, &vl);
            ++t.attributes;
            t.bytes += static_cast<size_t>(nl + vl) + static_cast<size_t>(name[0] & 1);
        }
        return S_OK;
    }
    HRESULT endElement(wchar_t const*, int, wchar_t const*, int, wchar_t const*, int) override { return S_OK; }
    HRESULT characters(wchar_t const* chars, int length) override {
        t.text += static_cast<size_t>(length) + static_cast<size_t>(chars[0] & 1);
        return S_OK;
    }
    HRESULT ignorableWhitespace(wchar_t const*, int) override { return S_OK; }
    HRESULT processingInstruction(wchar_t const*, int, wchar_t const*, int) override { return S_OK; }
    HRESULT skippedEntity(wchar_t const*, int) override { return S_OK; }
};

std::wstring wide(std::string const& s) { return mx::toWide(s.data(), s.size()); }

bool engineSax(ISAXXMLReader* reader, char const* path) {
    ComPtr<IStream> stream;
    if (FAILED(SHCreateStreamOnFileW(wide(path).c_str(), STGM_READ, stream.put()))) return false;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = stream.get();  // borrowed
    return SUCCEEDED(reader->parse(v));
}

// ---- indented save -------------------------------------------------------------------------

class NullStream final : public IStream {
public:
    size_t bytes = 0;
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *out = static_cast<IStream*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT Read(void*, ULONG, ULONG* read) override {
        *read = 0;
        return S_OK;
    }
    HRESULT Write(void const*, ULONG size, ULONG* written) override {
        bytes += size;
        if (written) *written = size;
        return S_OK;
    }
};

int countBytes(void* sink, char const*, int length) {
    *static_cast<size_t*>(sink) += static_cast<size_t>(length);
    return length;
}

// DOM -> reader -> writer -> stream, as the module's pretty-printing save does.
bool engineSave(IXMLDOMDocument3* doc, IStream* stream, bool eventPath) {
    ComPtr<ISAXXMLReader> reader;
    ComPtr<IMXWriter> writer;
    if (FAILED(mx::createSAXXMLReader(IID_ISAXXMLReader, reinterpret_cast<void**>(reader.put())))) return false;
    if (FAILED(mx::createMXWriter(IID_IMXWriter, reinterpret_cast<void**>(writer.put())))) return false;
    VARIANT out;
    VariantInit(&out);
    out.vt = VT_UNKNOWN;
    out.punkVal = stream;
    if (FAILED(writer->put_output(out)) || FAILED(writer->put_indent(VARIANT_TRUE)) ||
        FAILED(writer->put_standalone(VARIANT_TRUE)))
        return false;
    auto content = mx::queryAs<ISAXContentHandler>(writer.get(), IID_ISAXContentHandler);
    reader->putContentHandler(content.get());
    VARIANT lexical;
    VariantInit(&lexical);
    lexical.vt = VT_DISPATCH;
    lexical.punkVal = writer.get();
    reader->putProperty(SAX_PROPERTY_LEXICAL_HANDLER, lexical);
    // With xmlns listed as attributes the writer cannot write the tree
    // itself: every node goes through the SAX events.
    if (eventPath) reader->putFeature(L"http://xml.org/sax/features/namespace-prefixes", VARIANT_TRUE);
    VARIANT in;
    VariantInit(&in);
    in.vt = VT_DISPATCH;
    in.punkVal = doc;
    return SUCCEEDED(reader->parse(in));
}

bool engineSaveFile(IXMLDOMDocument3* doc, std::string const& path) {
    ComPtr<IStream> stream;
    if (FAILED(SHCreateStreamOnFileW(wide(path).c_str(), STGM_CREATE | STGM_WRITE, stream.put()))) return false;
    return engineSave(doc, stream.get(), false) && SUCCEEDED(stream->Commit(STGC_DEFAULT));
}

bool libxml2SaveFd(xmlDocPtr doc, int fd) {
    xmlSaveCtxtPtr save = xmlSaveToFd(fd, "UTF-8", XML_SAVE_FORMAT);
    if (!save) return false;
    long rc = xmlSaveDoc(save, doc);
    return xmlSaveClose(save) >= 0 && rc >= 0;
}

bool libxml2SaveFile(xmlDocPtr doc, std::string const& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = libxml2SaveFd(doc, fd) && fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

bool libxml2SaveNull(xmlDocPtr doc, size_t& bytes) {
    xmlSaveCtxtPtr save = xmlSaveToIO(countBytes, nullptr, &bytes, "UTF-8", XML_SAVE_FORMAT);
    if (!save) return false;
    long rc = xmlSaveDoc(save, doc);
    return xmlSaveClose(save) >= 0 && rc >= 0;
}

void ratio(char const* what, Time engine, Time base, double limit, bool higherIsBetter) {
    double r = higherIsBetter ? base.cpu / engine.cpu : engine.cpu / base.cpu;
    bool ok = higherIsBetter ? r >= limit : r <= limit;
    printf("%-42s engine %.3f s (wall %.3f)  libxml2 %.3f s (wall %.3f)  ratio %.2f (%s %.2f) %s\n", what,
           engine.cpu, engine.wall, base.cpu, base.wall, r, higherIsBetter ? "want >=" : "want <=", limit,
           ok ? "ok" : "MISSED");
}

void saxPart(char const* model, double mb, int runs);
void savePart(char const* model, std::string const& outDir, int runs);
int saxOneSide(char const* model, int runs, bool engine);

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s model.xml out-dir [runs]\n", argv[0]);
        return 2;
    }
    char const* model = argv[1];
    std::string outDir = argv[2];
    int runs = argc > 3 ? atoi(argv[3]) : 3;
    std::string only = argc > 4 ? argv[4] : "";
    mx::ensureInit();
    FILE* f = fopen(model, "rb");
    if (!f) return 2;
    fseek(f, 0, SEEK_END);
    double mb = static_cast<double>(ftell(f)) / (1024 * 1024);
    fclose(f);
    printf("input %s: %.1f MB, best of %d\n", model, mb, runs);

    if (only == "sax-engine" || only == "sax-libxml2") return saxOneSide(model, runs, only == "sax-engine");
    if (only != "save") saxPart(model, mb, runs);
    if (only != "sax") savePart(model, outDir, runs);
    return 0;
}

namespace {

void saxPart(char const* model, double mb, int runs) {
    ComPtr<ISAXXMLReader> reader;
    mx::createSAXXMLReader(IID_ISAXXMLReader, reinterpret_cast<void**>(reader.put()));
    Counter counter;
    reader->putContentHandler(&counter);
    Tally raw;
    auto [engine, base] = race(
        runs, [&] { counter.t = Tally{}; return engineSax(reader.get(), model); },
        [&] { return libxml2Sax(model, raw); });
    if (!(counter.t == raw))
        printf("warning: counts differ: elements %zu/%zu attributes %zu/%zu\n", counter.t.elements, raw.elements,
               counter.t.attributes, raw.attributes);
    printf("SAX events: %zu elements, %zu attributes; %.0f MB/s engine, %.0f MB/s libxml2 (CPU); peak RSS %ld MB\n",
           raw.elements, raw.attributes, mb / engine.cpu, mb / base.cpu, peakRssMb());
    ratio("SAX parse speed (engine / libxml2)", engine, base, 0.8, true);
}

// One side alone, for profilers.
int saxOneSide(char const* model, int runs, bool engine) {
    ComPtr<ISAXXMLReader> reader;
    mx::createSAXXMLReader(IID_ISAXXMLReader, reinterpret_cast<void**>(reader.put()));
    Counter counter;
    reader->putContentHandler(&counter);
    Tally raw;
    Time best;
    for (int i = 0; i < runs; ++i)
        keepBest(best, measure([&] { return engine ? engineSax(reader.get(), model) : libxml2Sax(model, raw); }));
    printf("%s: %.3f s CPU, %.3f s wall\n", engine ? "engine" : "libxml2", best.cpu, best.wall);
    return 0;
}

void savePart(char const* model, std::string const& outDir, int runs) {
    ComPtr<IXMLDOMDocument3> doc;
    mx::createDOMDocument(IID_IXMLDOMDocument3, reinterpret_cast<void**>(doc.put()));
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocString(wide(model).c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    doc->load(src, &loaded);
    VariantClear(&src);
    if (!loaded) {
        fprintf(stderr, "load failed\n");
        exit(1);
    }
    xmlDocPtr tree = mx::engineDocOf(doc.get());
    tree->standalone = 1;
    std::string mine = outDir + "/engine-indented.xml", theirs = outDir + "/libxml2-indented.xml";
    auto [saveEngine, saveBase] = race(
        runs, [&] { return engineSaveFile(doc.get(), mine); }, [&] { return libxml2SaveFile(tree, theirs); });
    ratio("indented save to file (engine / libxml2)", saveEngine, saveBase, 1.5, false);
    NullStream sink;
    size_t baseBytes = 0;
    auto [nullEngine, nullBase] = race(
        runs, [&] { sink.bytes = 0; return engineSave(doc.get(), &sink, false); },
        [&] { baseBytes = 0; return libxml2SaveNull(tree, baseBytes); });
    ratio("indented save, no disk (engine / libxml2)", nullEngine, nullBase, 1.5, false);
    size_t directBytes = sink.bytes;
    Time events;
    for (int i = 0; i < runs; ++i)
        keepBest(events, measure([&] { sink.bytes = 0; return engineSave(doc.get(), &sink, true); }));
    printf("%-42s engine %.3f s (wall %.3f), %.2f x libxml2 (information: the path other handlers take)\n",
           "indented save through SAX events", events.cpu, events.wall, events.cpu / nullBase.cpu);
    printf("output: engine %zu bytes (event path %zu), libxml2 %zu bytes\n", directBytes, sink.bytes, baseBytes);
}

}  // namespace
