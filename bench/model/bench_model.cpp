// The object model over the engine against libxml2 used directly, on the same
// file, in one run:
//   load      createDocument(path)             vs xmlReadFile
//   walk      scanTree: tag, attributes, text  vs a plain recursive tree walk,
//             both the first walk over the freshly loaded document; beside
//             them the interning floor: the plain walk interning what it
//             reads as the model must
//   attributes scanAttributes over one element of 25 000 and of 50 000
//             attributes: the time must grow linearly
//   save      saveXML flat / indented          vs xmlDocDumpMemory / xmlDocDumpFormatMemory
//   reload    XML_UTILITIES::deserialize       vs xmlReadMemory of libxml2's own text
// Every figure is the best of several runs, in CPU seconds (user + system), each run
// started on a trimmed heap. The libxml2 walk
// converts every name and value it reads to wchar_t, as the model must.
//
// usage: model_bench FILE [RUNS] [walk]
//   walk: load and walk only, once: the first walk must be the first thing
//   a process does with its heap, so bench/model/run starts one per run.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <unordered_map>

#include "core/StringCache.h"
#include "core/XmlSmartPtr.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XML_UTILITIES.h"
#include "model/XmlObjectFactory.h"
#include "platform/host/ux_string.h"

namespace {

// The options the engine's loader uses (external entities off, no network,
// compact text nodes, exact line numbers).
int const LOAD_OPTIONS = XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_COMPACT | XML_PARSE_BIG_LINES;

// CPU time of this (single-threaded) process: on a shared machine it is far
// steadier than the wall clock, and both sides are measured alike.
double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Each timed run starts with the heap trimmed: a run that finds the pages
// another run freed (and the allocator kept) skips their page faults, and
// which side is lucky that way changes with every change of allocation
// order. Trimmed, both sides start as a fresh process would.
double seconds(std::function<void()> const& work) {
    malloc_trim(0);
    double const start = cpuNow();
    work();
    return cpuNow() - start;
}

double best(int runs, std::function<void()> const& work) {
    double result = 1e30;
    for (int i = 0; i < runs; ++i) result = std::min(result, seconds(work));
    return result;
}

// ---- what the model walk reads --------------------------------------------------

struct Tally {
    unsigned long elements = 0;
    unsigned long attributes = 0;
    unsigned long characters = 0;  // of every tag, key, value and text read
    unsigned long checksum = 0;    // a few code units of each, so nothing is optimised away

    void take(wchar_t const* s, size_t n) {
        characters += n;
        if (n) checksum += static_cast<unsigned long>(s[0]) + static_cast<unsigned long>(s[n - 1]);
    }
    void take(wchar_t const* s) {
        if (s) take(s, wcslen(s));
    }
};

class AttributeReader : public TrelDOMAttributeVisitor {
public:
    explicit AttributeReader(Tally& tally) : tally_(tally) {}
    bool visit(TrelDOMAttribute const* attribute) override {
        ++tally_.attributes;
        tally_.take(attribute->getKey());
        tally_.take(attribute->getValue());
        return true;
    }

private:
    Tally& tally_;
};

class ElementReader : public TrelDOMElementVisitor {
public:
    explicit ElementReader(Tally& tally) : tally_(tally) {}
    bool visit(TrelDOMElement const* element) override {
        ++tally_.elements;
        tally_.take(element->getTag());
        AttributeReader attributes(tally_);
        element->scanAttributes(&attributes);
        tally_.take(element->getText());
        return true;
    }

private:
    Tally& tally_;
};

// ---- the same reading over libxml2 --------------------------------------------------

// UTF-8 to wchar_t into a reused buffer (hand loop with an ASCII fast path,
// the same kind of conversion the engine does).
void widen(xmlChar const* s, std::wstring& out) {
    out.clear();
    if (!s) return;
    for (size_t i = 0; s[i];) {
        unsigned c = s[i];
        if (c < 0x80) {
            out.push_back(static_cast<wchar_t>(c));
            ++i;
            continue;
        }
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        unsigned code = c & (0x3F >> extra);
        ++i;
        for (int k = 0; k < extra && s[i]; ++k, ++i) code = (code << 6) | (s[i] & 0x3F);
        out.push_back(static_cast<wchar_t>(code));
    }
}

void takeWide(Tally& tally, xmlChar const* s, std::wstring& buffer) {
    widen(s, buffer);
    tally.take(buffer.c_str(), buffer.size());
}

void walkLibxml2(xmlNode* element, Tally& tally, std::wstring& buffer) {
    ++tally.elements;
    if (element->ns && element->ns->prefix) {
        std::string qname = std::string(reinterpret_cast<char const*>(element->ns->prefix)) + ":" +
                            reinterpret_cast<char const*>(element->name);
        takeWide(tally, reinterpret_cast<xmlChar const*>(qname.c_str()), buffer);
    } else {
        takeWide(tally, element->name, buffer);
    }
    // Namespace declarations count as attributes, as the model lists them.
    for (xmlNs* ns = element->nsDef; ns; ns = ns->next) {
        ++tally.attributes;
        std::string key = "xmlns";
        if (ns->prefix) key = key + ":" + reinterpret_cast<char const*>(ns->prefix);
        takeWide(tally, reinterpret_cast<xmlChar const*>(key.c_str()), buffer);
        takeWide(tally, ns->href, buffer);
    }
    for (xmlAttr* a = element->properties; a; a = a->next) {
        ++tally.attributes;
        takeWide(tally, a->name, buffer);
        xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNode*>(a));
        takeWide(tally, value, buffer);
        xmlFree(value);
    }
    if (element->children && element->children->type == XML_TEXT_NODE)
        takeWide(tally, element->children->content, buffer);
    for (xmlNode* c = element->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE) walkLibxml2(c, tally, buffer);
}

// The least a walk that keeps the model's contract costs: the plain walk,
// with every value interned in a StringCache (equal texts, one pointer) and
// every name mapped from libxml2's dictionary pointers to one wide copy, as
// the model's document does. What the model walk takes beyond this is the
// object model's own.
class FloorWalk {
public:
    explicit FloorWalk(Tally& tally) : tally_(tally) {}

    void walk(xmlNode* element) {
        ++tally_.elements;
        tally_.take(name(element->ns ? element->ns->prefix : nullptr, element->name));
        for (xmlNs* ns = element->nsDef; ns; ns = ns->next) {
            ++tally_.attributes;
            tally_.take(ns->prefix ? name(kXmlns, ns->prefix) : name(nullptr, kXmlns));
            tally_.take(value(ns->href));
        }
        for (xmlAttr* a = element->properties; a; a = a->next) {
            ++tally_.attributes;
            tally_.take(name(a->ns ? a->ns->prefix : nullptr, a->name));
            xmlNode* only = a->children;
            if (only && !only->next && only->type == XML_TEXT_NODE) {
                tally_.take(value(only->content));
            } else {
                xmlChar* joined = xmlNodeGetContent(reinterpret_cast<xmlNode*>(a));
                tally_.take(value(joined));
                xmlFree(joined);
            }
        }
        if (element->children && element->children->type == XML_TEXT_NODE)
            tally_.take(value(element->children->content));
        for (xmlNode* c = element->children; c; c = c->next)
            if (c->type == XML_ELEMENT_NODE) walk(c);
    }

private:
    static constexpr xmlChar kXmlns[] = {'x', 'm', 'l', 'n', 's', 0};

    struct Key {
        xmlChar const* prefix;
        xmlChar const* local;
        bool operator==(Key const&) const = default;
    };
    struct KeyHash {
        size_t operator()(Key const& k) const {
            return std::hash<void const*>()(k.local) ^ (std::hash<void const*>()(k.prefix) << 1);
        }
    };

    wchar_t const* name(xmlChar const* prefix, xmlChar const* local) {
        auto [at, added] = names_.try_emplace(Key{prefix, local}, nullptr);
        if (added) {
            std::wstring wide;
            std::wstring part;
            if (prefix) widen(prefix, wide), wide.push_back(L':');
            widen(local, part);
            at->second = cache_.cache((wide + part).c_str());
        }
        return at->second;
    }
    wchar_t const* value(xmlChar const* s) {
        return s ? cache_.cacheUtf8(reinterpret_cast<char const*>(s), strlen(reinterpret_cast<char const*>(s)))
                 : nullptr;
    }

    Tally& tally_;
    StringCache cache_;
    std::unordered_map<Key, wchar_t const*, KeyHash> names_;
};

// The engine installs a process-wide external-entity loader that refuses
// what its own settings do not allow, and libxml2 passes even the top-level
// file through it; libxml2's own calls here run with libxml2's own loader.
class LibxmlLoader {
public:
    LibxmlLoader() : engine_(xmlGetExternalEntityLoader()) { xmlSetExternalEntityLoader(original()); }
    ~LibxmlLoader() { xmlSetExternalEntityLoader(engine_); }
    LibxmlLoader(LibxmlLoader const&) = delete;
    LibxmlLoader& operator=(LibxmlLoader const&) = delete;
    // Read before the engine is first used.
    static xmlExternalEntityLoader& original() {
        static xmlExternalEntityLoader loader = xmlGetExternalEntityLoader();
        return loader;
    }

private:
    xmlExternalEntityLoader engine_;
};

void report(char const* what, double model, double libxml2, double limit) {
    double const ratio = model / libxml2;
    std::printf("%-22s model %8.3f s   libxml2 %8.3f s   ratio %5.2f  (limit %.1f) %s\n", what, model, libxml2, ratio,
                limit, ratio <= limit ? "ok" : "OVER");
}

// Seconds for one scan reading every key and value of an element with n
// attributes.
double attributeScan(int n) {
    std::wstring text = L"<e";
    for (int i = 0; i < n; ++i) text += L" a" + std::to_wstring(i) + L"='v" + std::to_wstring(i % 100) + L"'";
    XmlSmartPtr<TrelDOMDocument> document(XML_UTILITIES::deserialize((text + L"/>").c_str()));
    if (document) document->removeReference();  // deserialize handed over one reference
    XmlSmartPtr<TrelDOMElement> root(document ? document->getRoot() : nullptr);
    if (!root) return 0;
    Tally tally;
    AttributeReader reader(tally);
    return seconds([&] { root->scanAttributes(&reader); });
}

std::wstring widePath(char const* path) {
    std::wstring out;
    widen(reinterpret_cast<xmlChar const*>(path), out);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [RUNS]\n", argv[0]);
        return 2;
    }
    char const* path = argv[1];
    int const runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    bool const walkOnly = argc > 3 && std::strcmp(argv[3], "walk") == 0;
    std::wstring const wpath = widePath(path);
    xmlInitParser();
    LibxmlLoader::original();
    XmlObjectFactory* factory = XmlObjectFactory::getInstance();

    // ---- load
    XmlSmartPtr<TrelDOMDocument> document;
    double const modelLoad = best(runs, [&] {
        document = nullptr;
        document = factory->createDocument(wpath.c_str());
    });
    if (!document) {
        std::fprintf(stderr, "the model could not load %s\n", path);
        return 1;
    }
    xmlDoc* doc = nullptr;
    xmlDoc* blankless = nullptr;
    LibxmlLoader libxmlLoader;
    double const libLoad = best(runs, [&] {
        xmlFreeDoc(doc);
        doc = xmlReadFile(path, nullptr, LOAD_OPTIONS);
    });
    double const libLoadNoBlanks = best(runs, [&] {
        xmlFreeDoc(blankless);
        blankless = xmlReadFile(path, nullptr, LOAD_OPTIONS | XML_PARSE_NOBLANKS);
    });
    if (!doc || !blankless) {
        std::fprintf(stderr, "libxml2 could not load %s\n", path);
        return 1;
    }

    // ---- walk: users mostly walk a document once, so the first walk counts,
    // and only in walk mode, where nothing ran before it in the process
    if (walkOnly) {
        Tally modelTally;
        double const modelWalk = seconds([&] {
            ElementReader reader(modelTally);
            document->scanTree(&reader);
        });
        Tally libTally;
        double const libWalk = seconds([&] {
            std::wstring buffer;
            walkLibxml2(xmlDocGetRootElement(blankless), libTally, buffer);
        });
        Tally floorTally;
        double const floorWalk = seconds([&] { FloorWalk(floorTally).walk(xmlDocGetRootElement(blankless)); });
        std::printf("walk read %lu elements, %lu attributes, %lu characters (libxml2 walk: %lu, %lu, %lu)\n",
                    modelTally.elements, modelTally.attributes, modelTally.characters, libTally.elements,
                    libTally.attributes, libTally.characters);
        std::printf("first walk: model %.3f s, libxml2 %.3f s, ratio %.2f\n", modelWalk, libWalk, modelWalk / libWalk);
        std::printf("interning floor: %.3f s, %.2f x libxml2; the model walk is %.2f x the floor\n", floorWalk,
                    floorWalk / libWalk, modelWalk / floorWalk);
        return 0;
    }
    double const scan25 = attributeScan(25000);
    double const scan50 = attributeScan(50000);

    // ---- save and reload
    double modelSave[2];
    double libSave[2];
    double modelReload[2];
    double libReload[2];
    for (int indent = 0; indent < 2; ++indent) {
        wchar_t* text = nullptr;
        modelSave[indent] = best(runs, [&] {
            ux_strfree(text);
            text = nullptr;
            document->saveXML(&text, indent != 0);
        });
        modelReload[indent] = best(runs, [&] {
            TrelDOMDocument* copy = XML_UTILITIES::deserialize(text);
            if (copy) copy->removeReference();
        });
        ux_strfree(text);

        xmlChar* bytes = nullptr;
        int size = 0;
        libSave[indent] = best(runs, [&] {
            xmlFree(bytes);
            xmlDocDumpFormatMemoryEnc(blankless, &bytes, &size, "UTF-8", indent);
        });
        libReload[indent] = best(runs, [&] {
            xmlFreeDoc(xmlReadMemory(reinterpret_cast<char const*>(bytes), size, nullptr, nullptr, LOAD_OPTIONS));
        });
        xmlFree(bytes);
    }

    std::printf("file %s, CPU seconds, best of %d runs\n", path, runs);
    report("createDocument(path)", modelLoad, libLoad, 1.3);
    std::printf("%-22s (xmlReadFile with NOBLANKS: %.3f s, ratio %.2f)\n", "", libLoadNoBlanks,
                modelLoad / libLoadNoBlanks);
    std::printf("%-22s 25 000: %.4f s, 50 000: %.4f s, ratio %.2f (linear: about 2)\n", "attribute scan", scan25,
                scan50, scan25 > 0 ? scan50 / scan25 : 0.0);
    report("saveXML flat", modelSave[0], libSave[0], 2.0);
    report("saveXML indented", modelSave[1], libSave[1], 2.0);
    report("deserialize flat", modelReload[0], libReload[0], 2.0);
    report("deserialize indented", modelReload[1], libReload[1], 2.0);
    report("save+deserialize flat", modelSave[0] + modelReload[0], libSave[0] + libReload[0], 2.0);
    report("save+deserialize ind.", modelSave[1] + modelReload[1], libSave[1] + libReload[1], 2.0);

    document = nullptr;
    xmlFreeDoc(doc);
    xmlFreeDoc(blankless);
    return 0;
}
