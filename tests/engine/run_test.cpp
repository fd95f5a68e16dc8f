#include "catalogue.h"
#include "nativefs.h"
#include "sortrun.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <regex>
#include <set>

// Whole runs over generated directories of awkward names, checked against a small model of the
// rules written here, apart from the engine's. PALLIMOR_SEEDS sets the number of directories.
using namespace pallimor;
namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>; // relative path to content, "/" for a folder

namespace {

#ifdef _WIN32
// Windows holds a name that differs only in letter case as the same name, and refuses control
// characters and the long numbered names that Linux takes.
constexpr bool isWindows = true;
#else
constexpr bool isWindows = false;
#endif

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return text;
}

std::string extensionOf(const std::string &name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
}

std::string numbered(const std::string &name, int count) {
    const std::string extension = extensionOf(name);
    return count == 0 ? name
                      : name.substr(0, name.size() - extension.size()) + std::to_string(count) +
                            extension;
}

bool fits(const std::string &path) {
    return path.size() - path.rfind('/') <= 256;
}

std::string shown(std::string text) {
    static const std::vector<std::pair<std::string, std::string>> escapes = {
        {"\n", "\\n"},         {"\r", "\\r"},         {"\t", "\\t"},         {"\x1b", "\\x1b"},
        {"\x7f", "\\x7f"},     {"\xC2\x85", "\\u0085"}, {"\xE2\x80\xA8", "\\u2028"},
        {"\xE2\x80\xA9", "\\u2029"}};
    for (const auto &[raw, escaped] : escapes)
        for (auto at = text.find(raw); at != std::string::npos; at = text.find(raw, at))
            text.replace(at, raw.size(), escaped);
    return text;
}

// The rules as the user is told them, and a run replayed on a copy of the tree.
class Model {
public:
    explicit Model(Tree tree) : tree(std::move(tree)) {
        for (const auto &[extension, category] : promisedCatalogue())
            catalogue[lower(extension)] = category;
    }

    bool isLeftAlone(const std::string &name) const {
        static const std::set<std::string> critical = {".bashrc", ".bash_profile", ".profile",
                                                       ".bash_logout", ".bash_history", ".ssh",
                                                       ".sudo_as_admin_successful"};
        return name == "Pallimor.cpp" || name[0] == '.' || critical.count(lower(extensionOf(name)));
    }

    // The folder the file goes to, or empty when its switch or the ".ini" exception holds it.
    std::string folderOf(const std::string &name) const {
        const std::string extension = lower(extensionOf(name));
        if (extension.empty())
            return FileCategory.at("Plain-Files") ? "" : "Plain-Files";
        const auto known = catalogue.find(extension);
        if (extension == ".ini" || (known != catalogue.end() && FileCategory.at(known->second)))
            return "";
        if (known == catalogue.end())
            return "Uncategorized";
        return known->second + "/" + char(std::toupper(extension[1])) + extension.substr(2);
    }

    bool isTaken(const std::string &path) const {
        return std::any_of(tree.begin(), tree.end(), [&](const auto &entry) {
            return isWindows ? lower(entry.first) == lower(path) : entry.first == path;
        });
    }

    // The first free name in the file's folder, or empty when no folder can stand there.
    std::string freeName(const std::string &name, const std::string &folder) {
        for (auto slash = folder.find('/');; slash = folder.find('/', slash + 1)) {
            const auto [entry, made] = tree.try_emplace(folder.substr(0, slash), "/");
            if (entry->second != "/")
                return {};
            if (slash == std::string::npos)
                break;
        }
        int count = 0;
        while (isTaken(folder + "/" + numbered(name, count)))
            ++count;
        return folder + "/" + numbered(name, count);
    }

    // The line the run logs for the file, after the model has moved it.
    std::string move(const std::string &name, const std::string &target, const std::string &dir,
                     bool vanished) {
        const std::string source = dir + "/" + shown(name);
        if (target.empty() || vanished || !fits(target))
            return "Error moving file " + source + ": ";
        tree[target] = tree[name];
        tree.erase(name);
        return "Moved: " + source + " -> " + dir + "/" + shown(target);
    }

    Tree tree;

private:
    std::map<std::string, std::string> catalogue;
};

fs::path under(const fs::path &root, const std::string &relative) {
    return root / pathFromUtf8(relative);
}

// Never through a link or over an entry: the generated tree must stay what it was made as.
void write(const fs::path &file, const std::string &content) {
    std::error_code error;
    if (fs::symlink_status(file, error).type() == fs::file_type::not_found)
        std::ofstream(file, std::ios::binary) << content;
}

std::string readFile(const fs::path &file) {
    std::ostringstream content;
    content << std::ifstream(file, std::ios::binary).rdbuf();
    return content.str();
}

Tree snapshot(const fs::path &root) {
    Tree tree;
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
        std::string relative = utf8FromPath(entry.path().lexically_relative(root));
        std::replace(relative.begin(), relative.end(), '\\', '/');
        if (entry.is_symlink())
            tree[relative] = "->" + utf8FromPath(fs::read_symlink(entry.path()));
        else if (entry.is_directory())
            tree[relative] = "/";
        else
            tree[relative] = readFile(entry.path());
    }
    return tree;
}

enum Action { None, Vanish, Race, DropFolder };

class Directory {
public:
    Directory(unsigned seed, const fs::path &root) : random(seed), root(root) {
        for (auto &[category, held] : FileCategory)
            held = chance(40);
        for (int i = pick(10, 30); i > 0; --i)
            addEntry();
        Model model(snapshot(root));
        for (const auto &[name, content] : model.tree)
            if (name.find('/') == std::string::npos && content.starts_with("file") &&
                !model.folderOf(name).empty() && chance(30))
                occupyTargets(name, model.folderOf(name));
        for (const auto &entry : fs::directory_iterator(root))
            actions[utf8FromPath(entry.path().filename())] = chance(40) ? Action(pick(1, 3)) : None;
    }

    std::map<std::string, Action> actions;

private:
    int pick(int low, int high) { return std::uniform_int_distribution(low, high)(random); }
    bool chance(int percent) { return pick(1, 100) <= percent; }
    template <typename T> T oneOf(std::initializer_list<T> items) {
        return items.begin()[pick(0, int(items.size()) - 1)];
    }

    std::string newName() {
        const std::string stem = oneOf<std::string>(
            {"report", "two words ", "été", "日本語", "🎉", "<b>&amp;", "a\nMoved: fake -> f.jpg",
             "cr\r", "esc\x1b[31m", "del\x7f", "nel\xC2\x85", "ls\xE2\x80\xA8", "ps\xE2\x80\xA9",
             "tab\t", ".hidden", "a.b", isWindows ? "x" : "bad\xE9\xFF"});
        const std::string extension =
            chance(60) ? oneOf<std::string>({".jpg", ".PDF", ".Mp3", ".cpp", ".ratdvd", ".TS"})
                       : oneOf<std::string>({"", ".zip", ".", ".ini", ".PROFILE", ".tar.gz"});
        std::string name = stem + std::to_string(serial++) + extension;
        if (!isWindows && chance(5))
            name.insert(0, 255 - name.size(), 'L');
        return chance(3) ? oneOf<std::string>({"Pallimor.cpp", "setup.INI", "notes."}) : name;
    }

    void addEntry() {
        const std::string name = newName();
        std::error_code ignored;
        switch (pick(0, 9)) {
        case 0:
            fs::create_directories(under(root, "sub/" + name), ignored);
            write(under(root, "sub/" + name + "/inner.pdf"), "file inner");
            break;
        case 1:
            fs::create_symlink(oneOf<std::string>({"missing", "sub"}), under(root, name), ignored);
            break;
        case 2:
            write(under(root, oneOf<std::string>({"Uncategorized", "Documents", "Plain-Files"})),
                  "file blocker");
            break;
        default:
            write(under(root, name), "file " + name);
        }
    }

    // Puts a file, a folder or a name differing in letter case where the file would go.
    void occupyTargets(const std::string &name, const std::string &folder) {
        std::error_code ignored;
        fs::create_directories(under(root, folder), ignored);
        for (int count = 0; count < 3; ++count) {
            if (chance(20))
                fs::create_directory(under(root, folder + "/" + numbered(name, count)), ignored);
            else if (chance(70))
                write(under(root, folder + "/" + (chance(20) ? lower(numbered(name, count))
                                                             : numbered(name, count))),
                      "file taken");
        }
    }

    std::mt19937 random;
    fs::path root;
    int serial = 0;
};

// Runs once, checking the tree and every log line against the model.
void checkRun(const fs::path &root, const std::map<std::string, Action> &actions) {
    Model model(snapshot(root));
    const std::string dir = utf8FromPath(root);
    std::vector<std::string> expected = {"Result Summary: "};
    std::map<std::string, std::string> racers;
    int counted = 0;
    bool moveAttempted = hasSortProcessStarted;
    for (const auto &entry : fs::directory_iterator(root)) {
        const std::string name = utf8FromPath(entry.path().filename());
        std::error_code error;
        if (model.isLeftAlone(name) || !fs::is_regular_file(entry.path(), error))
            continue;
        ++counted;
        const std::string folder = model.folderOf(name);
        if (folder.empty())
            continue;
        moveAttempted = true;
        const auto action = actions.count(name) ? actions.at(name) : None;
        if (action == Vanish)
            model.tree.erase(name);
        std::string target = model.freeName(name, folder);
        if (action == Race && !target.empty() && fits(target)) {
            model.tree[racers[name] = target] = "raced";
            target = model.freeName(name, folder);
        }
        expected.push_back(model.move(name, target, dir, action == Vanish));
    }
    const auto hook = [&](const fs::path &file) {
        const std::string name = utf8FromPath(file.filename());
        const auto action = actions.count(name) ? actions.at(name) : None;
        std::error_code ignored;
        if (action == Vanish)
            fs::remove(file);
        if (action == DropFolder && fs::is_directory(under(root, model.folderOf(name))))
            fs::remove(under(root, model.folderOf(name)), ignored);
        if (racers.count(name)) {
            fs::create_directories(under(root, racers[name]).parent_path(), ignored);
            write(under(root, racers[name]), "raced");
        }
    };
    std::vector<std::string> lines;
    sortDirectory(dir, std::chrono::steady_clock::now() - std::chrono::hours(1),
                  [&](std::string_view line) { lines.emplace_back(line); }, hook);

    ASSERT_EQ(lines.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (expected[i].ends_with(": "))
            lines[i].resize(std::min(lines[i].size(), expected[i].size()));
    const std::string summary = lines.back();
    lines.pop_back();
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(snapshot(root), model.tree);
    const std::string tail = " in 36\\d\\d\\.\\d\\d seconds with " + std::to_string(counted) +
                             " file\\(s\\)\\.";
    EXPECT_TRUE(std::regex_match(
        summary, std::regex(counted == 0      ? "There is currently no Files to Sort\\."
                            : moveAttempted ? "Process Finished" + tail
                                            : "No files was sorted\\. Exceptions may be "
                                              "toggled\\. Scanning Finished" + tail)))
        << summary;
}

} // namespace

TEST(Run, EveryFileEndsWhereTheRulesSayAndLogsOneLine) {
    const char *seeds = std::getenv("PALLIMOR_SEEDS");
    for (unsigned seed = 0; seed < (seeds ? std::stoul(seeds) : 40u) && !HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const fs::path root = fs::temp_directory_path() / ("pallimor-run-" + std::to_string(seed));
        fs::remove_all(root);
        fs::create_directories(root);
        hasSortProcessStarted = seed % 2;
        const Directory directory(seed, root);
        checkRun(root, directory.actions);
        checkRun(root, {});
        fs::remove_all(root);
    }
}

TEST(Run, ADirectoryThatCannotBeListedEndsWithTheSummary) {
    const fs::path file = fs::temp_directory_path() / "pallimor-not-a-directory";
    write(file, "file");
    std::vector<std::string> lines;
    sortDirectory(utf8FromPath(file), std::chrono::steady_clock::now(),
                  [&](std::string_view line) { lines.emplace_back(line); });
    fs::remove(file);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[1].starts_with("Error listing directory " + utf8FromPath(file) + ": "));
    EXPECT_EQ(lines[2], "There is currently no Files to Sort.");
}
