#include "scratchdir.h"

#include "nativefs.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            fs::temp_directory_path() / ("pallimor-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            root = candidate;
            return;
        }
    }
    throw std::runtime_error("no scratch directory could be made");
}

ScratchDir::~ScratchDir() {
    // Windows refuses to delete a read-only file.
    std::error_code error;
    std::error_code ignored;
    for (fs::recursive_directory_iterator entry(root, error), end; !error && entry != end;
         entry.increment(error))
        fs::permissions(entry->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(root, ignored);
}

std::string ScratchDir::text() const {
    return pallimor::utf8FromPath(root);
}

fs::path ScratchDir::pathOf(const std::string &relative) const {
    return pallimor::pathFromUtf8(text() + "/" + relative);
}

void ScratchDir::write(const std::string &relative, const std::string &content) const {
    const fs::path file = pathOf(relative);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << (content.empty() ? relative : content);
}

void ScratchDir::makeFolder(const std::string &relative) const {
    fs::create_directories(pathOf(relative));
}

void ScratchDir::makeReadOnly(const std::string &relative) const {
    fs::permissions(pathOf(relative),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

std::map<std::string, std::string> ScratchDir::files() const {
    std::map<std::string, std::string> found;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.is_symlink())
            continue;
        std::ostringstream content;
        content << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        std::string relative = pallimor::utf8FromPath(entry.path().lexically_relative(root));
        std::replace(relative.begin(), relative.end(),
                     static_cast<char>(fs::path::preferred_separator), '/');
        found[relative] = content.str();
    }
    return found;
}
