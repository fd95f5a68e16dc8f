// Writes docs/catalogue.md from the catalogue the engine sorts by, so that the page users read
// cannot drift from what a run does. With --check FILE it writes nothing and fails when FILE
// differs, which `make test` runs.
#include "catalogue.h"
#include "rules.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string codeList(const std::vector<std::string> &items) {
    std::string list;
    for (const std::string &item : items)
        list += (list.empty() ? "`" : ", `") + item + "`";
    return list;
}

std::string page() {
    std::map<std::string, std::vector<std::string>> byCategory;
    for (const auto &[extension, category] : pallimor::CATEGORIES)
        byCategory[category].push_back(extension);
    std::ostringstream out;
    out << "# What moves where, by extension\n\n"
           "Made by `make catalogue` from the catalogue Pallimor sorts by; `make test` fails when "
           "this page and the program disagree.\n\n"
           "Letter case does not matter: `PHOTO.JPG` goes to `Images/Jpg` as `photo.jpg` does. "
           "The extension is what follows the last dot of the name, so `archive.tar.gz` has the "
           "extension `.gz`. A file with an extension not listed here goes to `Uncategorized`, "
           "one without an extension to `Plain-Files`. A ticked box holds back every extension "
           "of its category.\n\n"
           "Never moved, whatever the boxes say: a file whose extension is one of "
        << codeList(pallimor::EXCEPTIONS) << ", " << codeList(pallimor::CRITICAL_FILES)
        << " (`my.profile` stays), a hidden file (its name starts with a dot; on Windows also one "
           "marked hidden or system), and a file named exactly `Pallimor.cpp`.\n";
    for (const auto &[category, extensions] : byCategory) {
        out << "\n## " << category << "\n\n| extension | folder |\n|---|---|\n";
        for (const std::string &extension : extensions)
            out << "| `" << extension << "` | `" << pallimor::categorizeFile("file" + extension)
                << "` |\n";
    }
    return out.str();
}

int check(const char *file) {
    std::ifstream in(file, std::ios::binary);
    const std::string written{std::istreambuf_iterator<char>(in), {}};
    if (in && written == page())
        return 0;
    std::cerr << file << " differs from the catalogue in the code: run `make catalogue`\n";
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && argv[1] == std::string("--check"))
        return check(argv[2]);
    if (argc != 1) {
        std::cerr << "usage: catalogue_table [--check FILE]\n";
        return 2;
    }
    std::cout << page();
    return 0;
}
