#include "platform/host/automation_log.h"

#include <sys/time.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/host/utf8.h"

namespace {

char const* logPath() {
    char const* path = std::getenv("QUILL_AUTOMATION_LOG");
    return path && *path ? path : nullptr;
}

int threshold() {
    char const* s = std::getenv("QUILL_AUTOMATION_LOG_LEVEL");
    return s && *s ? atoi(s) : 9;
}

std::string utf8Of(wchar_t const* s) {
    if (!s) return std::string();
    unsigned char* u = InternalToUTF8(s, nullptr, 0);
    std::string out(reinterpret_cast<char*>(u));
    kx_free(u);
    return out;
}

std::string timestamp() {
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[40];
    size_t n = strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    snprintf(text + n, sizeof text - n, ".%03d", static_cast<int>(now.tv_usec / 1000));
    return text;
}

// One line per call, opened in append mode each time: lines from several
// processes interleave whole, and the log needs no closing at exit.
void writeLine(char const* path, int level, wchar_t const* text, wchar_t const* argument) {
    std::string line = timestamp() + " [" + std::to_string(level) + "] " + utf8Of(text) + utf8Of(argument) + "\n";
    if (FILE* f = fopen(path, "a")) {
        fwrite(line.data(), 1, line.size(), f);
        fclose(f);
    }
}

}  // namespace

bool AutomationLogger::enabled(LEVEL level) { return logPath() && level <= threshold(); }

void AutomationLogger::log(wchar_t const* text, LEVEL level) { log(text, nullptr, level); }

void AutomationLogger::log(wchar_t const* text, wchar_t const* argument, LEVEL level) {
    if (!enabled(level)) return;
    writeLine(logPath(), level, text, argument);
}
