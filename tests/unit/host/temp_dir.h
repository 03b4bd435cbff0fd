// Test helpers: a temporary folder removed with everything in it, files
// written into it, and environment variables restored at scope end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quill-test-XXXXXX").string();
        if (char* made = mkdtemp(pattern.data())) path_ = made;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(TempDir const&) = delete;
    TempDir& operator=(TempDir const&) = delete;

    std::string const& path() const { return path_; }
    std::string file(std::string const& name) const { return path_ + "/" + name; }
    // Writes content to name (creating folders on the way); returns the path.
    std::string write(std::string const& name, std::string const& content) const {
        std::filesystem::path p = file(name);
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }

private:
    std::string path_;
};

class ScopedEnv {
public:
    ScopedEnv(char const* name, char const* value) : name_(name) {
        if (char const* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ScopedEnv(char const* name, std::string const& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedEnv(ScopedEnv const&) = delete;
    ScopedEnv& operator=(ScopedEnv const&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

inline std::wstring widen(std::string const& s) { return std::wstring(s.begin(), s.end()); }
