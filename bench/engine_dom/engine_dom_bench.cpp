// Load speed and memory of the DOM against libxml2's own xmlReadFile with the
// same parser options, in the same process, alternating runs.
//
// Memory is the growth of malloc's in-use bytes (mallinfo2: arena + mmapped)
// while the loaded document is alive; the same measure for both.
#include <libxml/parser.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/msxml6.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double seconds;
    double megabytes;
};

size_t inUse() {
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

constexpr int kOptions = XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_COMPACT | XML_PARSE_BIG_LINES;

// libxml2's own loader, saved before the engine installs its guarded one
// (xmlReadFile sends the document itself through the entity loader).
xmlExternalEntityLoader defaultLoader = nullptr;

Sample libxml2Load(char const* path) {
    xmlExternalEntityLoader engineLoader = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(defaultLoader);
    malloc_trim(0);
    size_t before = inUse();
    auto start = Clock::now();
    xmlDocPtr doc = xmlReadFile(path, nullptr, kOptions);
    double seconds = since(start);
    size_t after = inUse();
    if (!doc) {
        fprintf(stderr, "libxml2 could not read %s\n", path);
        exit(1);
    }
    xmlFreeDoc(doc);
    xmlSetExternalEntityLoader(engineLoader);
    return {seconds, (after - before) / 1048576.0};
}

IXMLDOMDocument3* newDocument() {
    IClassFactory* factory = nullptr;
    if (FAILED(DllGetClassObject(CLSID_FreeThreadedDOMDocument60, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return nullptr;
    IXMLDOMDocument3* doc = nullptr;
    factory->CreateInstance(nullptr, IID_IXMLDOMDocument3, reinterpret_cast<void**>(&doc));
    factory->Release();
    return doc;
}

Sample domLoad(char const* path) {
    std::wstring wide = mx::toWide(path);
    BSTR file = SysAllocString(wide.c_str());
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = file;
    malloc_trim(0);
    size_t before = inUse();
    auto start = Clock::now();
    IXMLDOMDocument3* doc = newDocument();
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = doc ? doc->load(source, &ok) : E_FAIL;
    double seconds = since(start);
    size_t after = inUse();
    SysFreeString(file);
    if (FAILED(hr) || ok != VARIANT_TRUE) {
        fprintf(stderr, "the DOM could not load %s\n", path);
        exit(1);
    }
    doc->Release();
    return {seconds, (after - before) / 1048576.0};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s model.xml [runs]\n", argv[0]);
        return 2;
    }
    char const* path = argv[1];
    int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    xmlInitParser();
    defaultLoader = xmlGetExternalEntityLoader();
    mx::ensureInit();
    {  // the file in the page cache for both
        std::ifstream in(path, std::ios::binary);
        std::vector<char> buffer(1 << 20);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
        }
    }
    std::vector<double> libTime, libMem, domTime, domMem;
    for (int i = 0; i < runs; ++i) {
        Sample a = libxml2Load(path);
        Sample b = domLoad(path);
        libTime.push_back(a.seconds);
        libMem.push_back(a.megabytes);
        domTime.push_back(b.seconds);
        domMem.push_back(b.megabytes);
        printf("run %d: xmlReadFile %.3f s %.1f MB | DOM load %.3f s %.1f MB\n", i + 1, a.seconds, a.megabytes,
               b.seconds, b.megabytes);
    }
    double tLib = median(libTime), tDom = median(domTime), mLib = median(libMem), mDom = median(domMem);
    printf("median: xmlReadFile %.3f s, %.1f MB; DOM load %.3f s, %.1f MB\n", tLib, mLib, tDom, mDom);
    printf("load time ratio DOM/libxml2: %.2f (target <= 1.25)\n", tDom / tLib);
    printf("memory ratio DOM/libxml2:    %.2f (target <= 1.30)\n", mDom / mLib);
    return 0;
}
