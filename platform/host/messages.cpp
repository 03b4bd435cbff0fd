#include "platform/host/messages.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <list>
#include <map>
#include <string>
#include <utility>

#include "platform/host/utf8.h"

namespace {

typedef std::map<std::pair<int, int>, std::wstring> Catalogue;

// The host's own texts; a catalogue file may translate them.
struct BuiltIn {
    int module, number;
    wchar_t const* text;
};
BuiltIn const kBuiltIn[] = {
    {2376, 1, L"The file {1} is not a well-formed XML file."},
    {2376, 2, L"No loader registered for XML document with root \"{1}\"."},
};

std::wstring wideOf(std::string const& utf8) {
    wchar_t* w = UTF8ToInternal(reinterpret_cast<unsigned char const*>(utf8.c_str()), nullptr, 0);
    std::wstring out(w);
    kx_free(w);
    return out;
}

std::string unescape(std::string const& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == '\\')) {
            out += s[i + 1] == 'n' ? '\n' : '\\';
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

// One "<module> <number> <text>" line; false for comments and malformed lines.
bool parseLine(std::string line, int& module, int& number, std::string& text) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    char const* p = line.c_str();
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '#' || *p == '\0') return false;
    char* end;
    long m = strtol(p, &end, 10);
    if (end == p || (*end != ' ' && *end != '\t')) return false;
    p = end;
    long n = strtol(p, &end, 10);
    if (end == p || (*end != ' ' && *end != '\t' && *end != '\0')) return false;
    p = end;
    if (*p) ++p;  // the one separator; further blanks belong to the text
    module = static_cast<int>(m);
    number = static_cast<int>(n);
    text = unescape(p);
    return true;
}

Catalogue readCatalogue(std::string const& path) {
    Catalogue catalogue;
    std::ifstream in(path);
    std::string line, text;
    int module, number;
    while (std::getline(in, line))
        if (parseLine(line, module, number, text)) catalogue[{module, number}] = wideOf(text);
    return catalogue;
}

// The catalogue named by QUILL_MESSAGES, read again when the variable names
// another file. Earlier catalogues stay alive: callers may still hold texts.
Catalogue const* currentCatalogue() {
    static auto* loaded = new std::list<std::pair<std::string, Catalogue>>();
    char const* path = std::getenv("QUILL_MESSAGES");
    if (!path || !*path) return nullptr;
    if (loaded->empty() || loaded->back().first != path) loaded->emplace_back(path, readCatalogue(path));
    return &loaded->back().second;
}

}  // namespace

wchar_t const* get_mesg(int module, int number, wchar_t const* defaultText) {
    if (Catalogue const* catalogue = currentCatalogue()) {
        auto it = catalogue->find({module, number});
        if (it != catalogue->end()) return it->second.c_str();
    }
    for (auto const& entry : kBuiltIn)
        if (entry.module == module && entry.number == number) return entry.text;
    return defaultText;
}

wchar_t* ux_fix_mesg(wchar_t* buffer, size_t size, wchar_t const* format, wchar_t const* argument) {
    if (size == 0) return buffer;
    size_t out = 0;
    auto put = [&](wchar_t c) {
        if (out + 1 < size) buffer[out++] = c;
    };
    for (wchar_t const* p = format ? format : L""; *p && out + 1 < size; ++p) {
        if (p[0] == L'{' && p[1] == L'1' && p[2] == L'}') {
            for (wchar_t const* a = argument ? argument : L""; *a; ++a) put(*a);
            p += 2;
        } else {
            put(*p);
        }
    }
    buffer[out] = L'\0';
    return buffer;
}
