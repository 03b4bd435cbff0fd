#include "platform/host/module_debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Live objects by address; the lists are never destroyed, so objects that
// die at unload still find them.
std::vector<MODULE_DEBUG*>& modules() {
    static auto* list = new std::vector<MODULE_DEBUG*>();
    return *list;
}

std::vector<DISABLE_THREAD_NOTIFICATIONS*>& switches() {
    static auto* list = new std::vector<DISABLE_THREAD_NOTIFICATIONS*>();
    return *list;
}

template <class T>
void forget(std::vector<T*>& list, T* item) {
    for (auto it = list.begin(); it != list.end(); ++it)
        if (*it == item) {
            list.erase(it);
            return;
        }
}

void copyName(char (&target)[32], char const* name) { snprintf(target, sizeof target, "%s", name ? name : ""); }

// The level QUILL_DEBUG gives that name ("XML:3,SAX:1", "XML" alone = 1), or -1.
int levelFromEnvironment(char const* name) {
    char const* env = std::getenv("QUILL_DEBUG");
    if (!env) return -1;
    std::string list = env;
    size_t start = 0;
    while (start < list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(start, comma - start);
        size_t colon = item.find(':');
        std::string key = item.substr(0, colon);
        if (strcasecmp(key.c_str(), name) == 0) return colon == std::string::npos ? 1 : atoi(item.c_str() + colon + 1);
        start = comma + 1;
    }
    return -1;
}

}  // namespace

MODULE_DEBUG::MODULE_DEBUG(char const* name, int level) : level_(level) {
    copyName(name_, name);
    int const wanted = levelFromEnvironment(name_);
    if (wanted > level_) level_ = wanted;
    modules().push_back(this);
}

MODULE_DEBUG::~MODULE_DEBUG() { forget(modules(), this); }

void MODULE_DEBUG::print(int level, char const* format, ...) const {
    if (!on(level)) return;
    va_list args;
    va_start(args, format);
    fprintf(stderr, "[%s:%d] ", name_, level);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
}

MODULE_DEBUG* MODULE_DEBUG::find(char const* name) {
    for (MODULE_DEBUG* m : modules())
        if (name && strcmp(m->name_, name) == 0) return m;
    return nullptr;
}

DISABLE_THREAD_NOTIFICATIONS::DISABLE_THREAD_NOTIFICATIONS(char const* name) {
    copyName(name_, name);
    switches().push_back(this);
}

DISABLE_THREAD_NOTIFICATIONS::~DISABLE_THREAD_NOTIFICATIONS() { forget(switches(), this); }

bool DISABLE_THREAD_NOTIFICATIONS::is_disabled(char const* name) {
    for (auto* s : switches())
        if (name && strcmp(s->name_, name) == 0) return true;
    return false;
}
