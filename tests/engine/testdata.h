#pragma once

#include "catalogue.h"
#include "nativefs.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <ranges>
#include <regex>
#include <set>

#ifdef _WIN32
#include <windows.h>
#endif

// Whole runs as a model of their own foretells them, apart from the engine: the rules as the
// user is told them, applied to generated directories of awkward names. The engine's tests and
// the window's share it, and the data files beside it.
namespace model {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>; // relative path to content, "/" for a folder
using Lines = std::vector<std::string>;

// The rows of a data file beside this one, split at " | "; lines starting with # are notes.
inline std::vector<Lines> readTable(const std::string &file) {
    static const std::regex bar(" \\| ");
    std::ifstream in(fs::path(__FILE__).parent_path() / file);
    std::vector<Lines> rows;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            rows.emplace_back(std::sregex_token_iterator(line.begin(), line.end(), bar, -1),
                              std::sregex_token_iterator());
    if (rows.empty())
        throw std::runtime_error("no rows in " + file);
    return rows;
}

inline std::string lower(std::string text) {
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The extension runs from the last dot on, unless that dot starts the name.
inline std::size_t extensionAt(const std::string &name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name.size() : dot;
}

// The data files write a byte as \xHH where the character itself cannot stand.
inline std::string unescaped(std::string text) {
    for (auto at = text.find("\\x"); at != std::string::npos; at = text.find("\\x", at + 1))
        text.replace(at, 4, 1, static_cast<char>(std::stoi(text.substr(at + 2, 2), nullptr, 16)));
    return text;
}

// A name as the log shows it: nothing in it may end the line or pass for a line break.
inline std::string shown(std::string text) {
    static const auto escapes = readTable("escapes.txt");
    for (const auto &row : escapes)
        for (const std::string raw = unescaped(row[0]); text.find(raw) != std::string::npos;)
            text.replace(text.find(raw), raw.size(), row[1]);
    return text;
}

// Where the rules put a regular file: "alone" (not even counted), "held" (counted, not moved) or
// the folder it moves to.
inline std::string placeOf(const std::string &name) {
    static const auto catalogue = readTable("catalogue.txt");
    if (name == "Pallimor.cpp" || name[0] == '.')
        return "alone";
    const std::string extension = lower(name.substr(extensionAt(name)));
    std::string place = extension.empty() ? "Plain-Files" : "Uncategorized";
    for (const auto &row : catalogue)
        if (lower(row[0]) == extension)
            place = row[1];
    const auto held = pallimor::FileCategory.find(place.substr(0, place.find('/')));
    return held != pallimor::FileCategory.end() && held->second ? "held" : place;
}

// Never over an entry or through a link: what is made stays what it was made as. Gives the
// content back, written or not.
inline const std::string &write(const fs::path &file, const std::string &content) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (fs::symlink_status(file, error).type() == fs::file_type::not_found)
        std::ofstream(file, std::ios::binary) << content;
    return content;
}

// The names in `dir`. On Windows from Win32 itself: the C runtime's listing loses its way in a
// folder deeper than MAX_PATH.
inline std::vector<fs::path> children(const fs::path &dir) {
    std::vector<fs::path> names;
#ifdef _WIN32
    WIN32_FIND_DATAW data;
    const std::wstring all = L"\\\\?\\" + (fs::absolute(dir) / "*").make_preferred().native();
    const HANDLE find = FindFirstFileW(all.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot list " + pallimor::utf8FromPath(dir));
    do
        if (data.cFileName != std::wstring(L".") && data.cFileName != std::wstring(L".."))
            names.emplace_back(data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
#else
    for (const auto &entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename());
#endif
    return names;
}

inline void removeTree(const fs::path &path) {
    std::error_code error;
    if (fs::is_directory(fs::symlink_status(path, error)))
        for (const fs::path &name : children(path))
            removeTree(path / name);
    fs::remove(path, error);
}

inline Tree snapshot(const fs::path &root, const fs::path &under = {}) {
    Tree tree;
    for (const fs::path &name : children(root / under)) {
        std::ifstream in(root / under / name, std::ios::binary);
        const auto type = fs::symlink_status(root / under / name).type();
        const bool folder = type == fs::file_type::directory;
        tree[pallimor::utf8FromPath(under / name)] =
            folder ? "/"
            : type == fs::file_type::symlink
                ? "-> " + fs::read_symlink(root / under / name).string()
                : std::string(std::istreambuf_iterator(in), {});
        if (folder)
            tree.merge(snapshot(root, under / name));
    }
    return tree;
}

// What the files hold, wherever they are: a run loses none and doubles none.
inline std::multiset<std::string> contents(Tree tree) {
    std::erase_if(tree, [](const auto &entry) { return entry.second == "/"; });
    return {std::views::values(tree).begin(), std::views::values(tree).end()};
}

// A folder of its own under the temporary one, so that two test runs at once never meet, with
// `deep` five folders of 60 letters below it, past MAX_PATH; removed with what it holds.
struct Scratch {
    explicit Scratch(const std::string &name)
        : top(fs::temp_directory_path() / (name + "-" + std::to_string(std::random_device()()))),
          deep(top / std::string(60, 'a') / std::string(60, 'b') / std::string(60, 'c') /
               std::string(60, 'd') / std::string(60, 'e')) {
        fs::create_directories(deep);
    }
    ~Scratch() { removeTree(top); }
    const fs::path top, deep;
};

// Makes `root` afresh, of awkward entries: the names every directory holds, some of the paths
// taken before a run, files named from a pool of stems, a link to nothing and one to a file. A
// generated file's first word is one of `actions`.
inline void fill(const fs::path &root, std::mt19937 random, const Lines &actions) {
    const auto oneOf = [&](const Lines &items) { return items[random() % items.size()]; };
    static const auto names = readTable("names.txt"); // stems, endings, always there, taken
    removeTree(root);
    for (const std::string &name : names[2])
        write(root / pallimor::pathFromUtf8(unescaped(name)), "keep " + name);
    for (const std::string &path : names[3])
        if (random() % 3 == 0)
            write(root / pallimor::pathFromUtf8(unescaped(path)), "taken");
    for (int files = int(random() % 20) + 10; files > 0; --files) {
        const std::string name = unescaped(oneOf(names[0]) + oneOf({"", "1"}) + oneOf(names[1]));
        write(root / pallimor::pathFromUtf8(name), oneOf(actions) + " " + name);
    }
    std::error_code ignored;
    fs::create_symlink("missing", root / "dangling.jpg", ignored);
    fs::create_symlink("Pallimor.cpp", root / "linked.txt", ignored);
}

// What befalls a file of `root` between the listing and its move, by its first word: it
// vanishes, its folder is dropped, another file races into its name there, or it is held open.
inline void befall(const fs::path &root, const fs::path &file, std::vector<std::ifstream> &open) {
    const std::string place = placeOf(pallimor::utf8FromPath(file.filename()));
    const fs::path folder = root / pallimor::pathFromUtf8(place);
    std::string action;
    std::ifstream(file) >> action;
    std::error_code error;
    if (action == "vanish")
        fs::remove(file, error);
    if (action == "drop" && fs::is_directory(folder, error))
        removeTree(folder);
    if (action == "race")
        write(folder / file.filename(), "raced");
    if (action == "open")
        open.emplace_back(file);
}

// Whether a move has been tried since the process started, as the summary tells it.
inline bool started = false;
// The name of a link whose target cannot be read, if any: the run says so and counts it as failed.
inline std::string unreadable;

// What a run of `root` logs and leaves with the switches as they are, the folder typed as
// `typed`, foretold by a plain run of the rules over it, to whose files the same things befall,
// so that whatever the platform refuses (a name differing only in letter case on Windows, a name
// too long) it refuses too; fill it again for the run itself. "<seconds>" stands for the
// summary's seconds.
inline std::pair<Lines, Tree> replay(const fs::path &root, std::string typed = {}) {
    typed = typed.empty() ? pallimor::utf8FromPath(root) : typed;
    // A file reads as its full path would; a folder follows one "/" more, but never after "C:".
    const bool drive = typed.ends_with(':'), ended = typed.ends_with('/') || typed.ends_with('\\');
    const std::string folders = drive ? typed : typed + "/", dir = ended ? typed : folders;
    Lines lines = {"Result Summary: "};
    int counted = 0;
    std::vector<std::ifstream> open;
    for (const fs::path &file : children(root)) {
        const std::string name = pallimor::utf8FromPath(file);
        const std::string place = placeOf(name);
        std::error_code error;
        if (name == unreadable && place != "alone")
            lines.push_back("Error reading file " + dir + shown(name) + ": ");
        if (place == "alone" || name == unreadable || !fs::is_regular_file(root / file, error))
            continue;
        ++counted;
        if (place == "held")
            continue;
        befall(root, root / file, open);
        fs::create_directories(root / pallimor::pathFromUtf8(place), error);
        std::string target = place + "/" + name;
        for (int count = 1; fs::exists(root / pallimor::pathFromUtf8(target), error); ++count)
            target =
                place + "/" + std::string(name).insert(extensionAt(name), std::to_string(count));
        fs::rename(root / file, root / pallimor::pathFromUtf8(target), error);
        lines.push_back(error ? "Error moving file " + dir + shown(name) + ": "
                              : "Moved: " + dir + shown(name) + " -> " + folders + shown(target));
    }
    open.clear();
    started = started || lines.size() > 1;
    if (const auto failed = std::ranges::count_if(lines, [](const std::string &line) {
            return line.starts_with("Error m") || line.starts_with("Error r");
        }))
        lines.push_back(std::to_string(failed) +
                        " file(s) could not be moved; each has a line above that begins with "
                        "\"Error\".");
    const std::string tail =
        " Finished in <seconds> seconds with " + std::to_string(counted) + " file(s).";
    lines.push_back(counted == 0 ? "There is currently no Files to Sort."
                    : started    ? "Process" + tail
                              : "No files was sorted. Exceptions may be toggled. Scanning" + tail);
    return {lines, snapshot(root)};
}

// A log line as the model words it: an error line without the system's message after its last
// ": ", and "<seconds>" for the summary's seconds where they match `seconds`.
inline std::string worded(std::string line, const std::string &seconds) {
    if (line.starts_with("Error "))
        line.erase(line.rfind(": ") + 2);
    return std::regex_replace(line, std::regex(" " + seconds + " seconds"), " <seconds> seconds");
}

} // namespace model
