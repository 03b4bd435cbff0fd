// Named debug modules and thread-notification switches of the host.
//
// A MODULE_DEBUG has a name and a level (0: silent). QUILL_DEBUG raises
// levels: "XML:3,SAX:1" (a name without level means 1). Messages at or below
// the module's level go to stderr.
//
// A DISABLE_THREAD_NOTIFICATIONS switch names a module whose threads the
// host does not announce; the host keeps a registry of the names.
#pragma once

class MODULE_DEBUG {
public:
    explicit MODULE_DEBUG(char const* name, int level = 0);
    ~MODULE_DEBUG();
    MODULE_DEBUG(MODULE_DEBUG const&) = delete;
    MODULE_DEBUG& operator=(MODULE_DEBUG const&) = delete;

    char const* name() const { return name_; }
    int level() const { return level_; }
    void set_level(int level) { level_ = level; }
    bool on(int level = 1) const { return level <= level_; }
    // printf-style message at `level`, prefixed with the module name.
    void print(int level, char const* format, ...) const __attribute__((format(printf, 3, 4)));

    // The live module of that name, or null.
    static MODULE_DEBUG* find(char const* name);

private:
    char name_[32];
    int level_;
};

class DISABLE_THREAD_NOTIFICATIONS {
public:
    explicit DISABLE_THREAD_NOTIFICATIONS(char const* name);
    ~DISABLE_THREAD_NOTIFICATIONS();
    DISABLE_THREAD_NOTIFICATIONS(DISABLE_THREAD_NOTIFICATIONS const&) = delete;
    DISABLE_THREAD_NOTIFICATIONS& operator=(DISABLE_THREAD_NOTIFICATIONS const&) = delete;

    char const* name() const { return name_; }
    // Whether a live switch of that name exists.
    static bool is_disabled(char const* name);

private:
    char name_[32];
};
