#pragma once

#include <filesystem>
#include <map>
#include <string>

// A fresh directory for one test, removed with everything in it when the test ends.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::filesystem::path &path() const { return root; }
    std::string text() const;

    // Writes a file at `relative` (UTF-8, "/" separated), making its folders; by default the
    // file holds its own name, so every file's content is unique.
    void write(const std::string &relative, const std::string &content = {}) const;
    void makeFolder(const std::string &relative) const;
    void makeReadOnly(const std::string &relative) const;

    // The path of `relative` joined as the engine joins paths: as text, with "/".
    std::filesystem::path pathOf(const std::string &relative) const;

    // Every regular file below the directory, relative path to content.
    std::map<std::string, std::string> files() const;

private:
    std::filesystem::path root;
};
