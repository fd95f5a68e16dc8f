#include "catalogue.h"
#include "rules.h"
#include "scratchdir.h"
#include "sortrun.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// Whole runs over generated directories full of awkward names and entries, checked against what
// the rules say should happen to each entry, one seed at a time. PALLIMOR_SEEDS raises the
// number of seeds.
using namespace pallimor;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

enum class Kind { File, Folder, Link, Fifo };

struct Entry {
    Kind kind;
    std::string content; // a file's bytes or a link's target
    bool operator==(const Entry &) const = default;
};

// Relative path to entry, for everything below the root, links not followed.
using Tree = std::map<std::string, Entry>;

std::string readFile(const fs::path &file) {
    std::ostringstream content;
    content << std::ifstream(file, std::ios::binary).rdbuf();
    return content.str();
}

Tree snapshot(const fs::path &root) {
    Tree tree;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = entry.path().lexically_relative(root).native();
        if (entry.is_symlink())
            tree[relative] = {Kind::Link, fs::read_symlink(entry.path()).native()};
        else if (entry.is_directory())
            tree[relative] = {Kind::Folder, {}};
        else if (entry.is_fifo())
            tree[relative] = {Kind::Fifo, {}};
        else
            tree[relative] = {Kind::File, readFile(entry.path())};
    }
    return tree;
}

std::string describe(const Tree &tree) {
    std::string text;
    for (const auto &[path, entry] : tree)
        text += "  " + path + " [" + "FDLP"[static_cast<int>(entry.kind)] + "]\n";
    return text;
}

// The names a file is tried under, in order: its own, then a number before its extension.
std::string candidateName(const std::string &name, int count) {
    if (count == 0)
        return name;
    const std::string extension = getFileExtension(name);
    return name.substr(0, name.size() - extension.size()) + std::to_string(count) + extension;
}

bool isLeftAloneByName(const std::string &name) {
    return name == "Pallimor.cpp" || isCriticalFile(name) || isHiddenFile(name);
}

bool isHeldByRule(const std::string &name) {
    return (isPlainFile(name) && FileCategory.at("Plain-Files")) || isNotIncluded(name) ||
           isException(name);
}

class DirectoryMaker {
public:
    DirectoryMaker(std::uint64_t seed, const fs::path &root) : random(seed), root(root) {}

    std::set<std::string> build() {
        const int entries = pick(15, 40);
        for (int i = 0; i < entries; ++i)
            addTopEntry();
        for (const std::string &name : topFiles) {
            if (chance(30))
                occupyTargets(name);
        }
        for (auto &[category, held] : FileCategory)
            held = chance(50);
        std::set<std::string> vanishing;
        for (const std::string &name : topFiles) {
            if (chance(8))
                vanishing.insert(name);
        }
        return vanishing;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution(low, high)(random); }
    bool chance(int percent) { return pick(1, 100) <= percent; }
    template <typename T> const T &oneOf(const std::vector<T> &items) {
        return items[static_cast<std::size_t>(pick(0, static_cast<int>(items.size()) - 1))];
    }

    std::string stem() {
        // clang-format off
        static const std::vector<std::string> stems = {
            "report", "two words ", " lead", "a.b.c", ".hidden", "...", "caf\xC3\xA9",
            "\xE6\x97\xA5\xE6\x9C\xAC", "bad\xE9\xFF", "<b>&amp;\"'", "Images", "Plain-Files",
            "Uncategorized", "Documents", "Pallimor", "r1", "x"};
        // clang-format on
        return oneOf(stems);
    }

    std::string extension() {
        switch (pick(0, 6)) {
        case 0:
            return "";
        case 1:
            return oneOf(std::vector<std::string>{".zip", ".unknown", ".", ".tar.gz"});
        case 2:
            return oneOf(std::vector<std::string>{".ini", ".INI", ".profile", ".cpp"});
        default: {
            auto entry = CATEGORIES.begin();
            std::advance(entry, pick(0, static_cast<int>(CATEGORIES.size()) - 1));
            std::string spelt = entry->first;
            for (char &c : spelt)
                c = chance(30) ? static_cast<char>(std::toupper(static_cast<unsigned char>(c)))
                               : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return spelt;
        }
        }
    }

    // Mostly new names; the few fixed ones may be taken already, and are then skipped.
    std::string freshName() {
        static const std::vector<std::string> fixed = {"Pallimor.cpp", "...", "....",     ".bashrc",
                                                       "notes.",       "a..", "setup.ini"};
        if (chance(4))
            return oneOf(fixed);
        std::string name = stem() + std::to_string(serial++) + extension();
        if (chance(5))
            name = std::string(255 - name.size(), 'L') + name;
        return name;
    }

    bool writeFile(const fs::path &path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0)
            return false;
        const std::string content = "content " + std::to_string(serial++);
        const bool written =
            ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
        ::close(fd);
        return written;
    }

    void addTopEntry() {
        const int kind = pick(1, 100);
        const std::string name = freshName();
        const fs::path path = root / name;
        if (kind <= 60) {
            if (writeFile(path))
                topFiles.push_back(name);
        } else if (kind <= 70) {
            const std::string folder = chance(50) ? oneOf(folderNames) : name;
            if (::mkdir((root / folder).c_str(), 0755) == 0 || fs::is_directory(root / folder))
                writeFile(root / folder / freshName());
        } else if (kind <= 78) {
            // Into a folder the run never moves from, so the link stays a file for the whole run.
            const std::string target = "linked/" + freshName();
            ::mkdir((root / "linked").c_str(), 0755);
            if (writeFile(root / target) && ::symlink(target.c_str(), path.c_str()) == 0)
                topFiles.push_back(name);
        } else if (kind <= 82) {
            ::mkdir((root / "linked").c_str(), 0755);
            ::symlink("linked", (root / ("link-to-folder" + std::to_string(serial++))).c_str());
        } else if (kind <= 88) {
            ::symlink(chance(50) ? "missing" : name.c_str(), path.c_str());
        } else if (kind <= 94) {
            ::mkfifo(path.c_str(), 0644);
        } else {
            blockFolder(root / oneOf(folderNames));
        }
    }

    // Something that is no folder, where a category folder goes.
    void blockFolder(const fs::path &path) {
        switch (pick(0, 3)) {
        case 0:
            ::mkfifo(path.c_str(), 0644);
            break;
        case 1:
            ::symlink("missing", path.c_str());
            break;
        default:
            writeFile(path);
        }
    }

    // Puts entries at the names the file would be moved to, numbered ones included.
    void occupyTargets(const std::string &name) {
        const fs::path folder = root / categorizeFile(name);
        std::error_code error;
        fs::create_directories(folder, error);
        for (int count = 0; count < 4 && !error; ++count) {
            if (!chance(70))
                continue;
            const fs::path taken = folder / candidateName(name, count);
            switch (pick(0, 5)) {
            case 0:
                ::mkdir(taken.c_str(), 0755);
                break;
            case 1:
                ::symlink("missing", taken.c_str());
                break;
            default:
                writeFile(taken);
            }
        }
    }

    std::mt19937_64 random;
    fs::path root;
    std::vector<std::string> topFiles;
    int serial = 0;
    const std::vector<std::string> folderNames = {"Images",    "Plain-Files",   "Uncategorized",
                                                  "Documents", "Documents/Pdf", "sub"};
};

// What the rules make of each entry lying directly in the directory, decided before the run.
struct Expectation {
    int counted = 0;
    std::set<std::string> held;
    std::set<std::string> movable;
};

Expectation expect(const fs::path &root, const Tree &tree) {
    Expectation expectation;
    for (const auto &[name, entry] : tree) {
        std::error_code ignored;
        if (name.find('/') != std::string::npos || isLeftAloneByName(name) ||
            !fs::is_regular_file(root / name, ignored))
            continue;
        ++expectation.counted;
        (isHeldByRule(name) ? expectation.held : expectation.movable).insert(name);
    }
    return expectation;
}

// Replays the log against a model of the tree: each line must be what the model predicts for
// its file at that point, and the model must end equal to the tree on disk.
class Replay {
public:
    Replay(const ScratchDir &dir, Tree model, const std::set<std::string> &vanishing)
        : dir(dir), model(std::move(model)), vanishing(vanishing) {}

    void line(const std::string &text, const std::set<std::string> &movable) {
        const std::string name = fileOf(text, movable);
        ASSERT_FALSE(name.empty()) << "unexpected line: " << text;
        EXPECT_TRUE(reported.insert(name).second) << "second line for " << name;
        const std::string predicted = predict(name);
        if (predicted.empty())
            EXPECT_EQ(text.rfind("Error moving file " + dir.text() + "/" + name + ": ", 0), 0u)
                << text;
        else
            EXPECT_EQ(text, predicted);
    }

    const Tree &result() const { return model; }
    const std::set<std::string> &reportedFiles() const { return reported; }

private:
    std::string fileOf(const std::string &text, const std::set<std::string> &movable) const {
        std::string found;
        for (const std::string &name : movable) {
            const std::string source = dir.text() + "/" + name;
            if (text.rfind("Moved: " + source + " -> ", 0) == 0 ||
                text.rfind("Error moving file " + source + ": ", 0) == 0) {
                if (!found.empty())
                    return {};
                found = name;
            }
        }
        return found;
    }

    // The "Moved: " line the model expects, or empty when the move must fail.
    std::string predict(const std::string &name) {
        if (vanishing.count(name) != 0)
            model.erase(name);
        const std::string folder = categorizeFile(name);
        if (!makeFolders(folder) || model.count(name) == 0)
            return {};
        int count = 0;
        while (model.count(folder + "/" + candidateName(name, count)) != 0)
            ++count;
        const std::string target = candidateName(name, count);
        if (target.size() > 255)
            return {};
        model[folder + "/" + target] = model.at(name);
        model.erase(name);
        return "Moved: " + dir.text() + "/" + name + " -> " + dir.text() + "/" + folder + "/" +
               target;
    }

    // False when something that is no folder stands where one of them goes.
    bool makeFolders(const std::string &folder) {
        for (std::size_t end = folder.find('/');; end = folder.find('/', end + 1)) {
            const auto [entry, made] =
                model.try_emplace(folder.substr(0, end), Entry{Kind::Folder, {}});
            if (!made && entry->second.kind != Kind::Folder)
                return false;
            if (end == std::string::npos)
                return true;
        }
    }

    const ScratchDir &dir;
    Tree model;
    const std::set<std::string> &vanishing;
    std::set<std::string> reported;
};

std::string expectedSummary(int counted, bool moveAttempted) {
    const std::string tail =
        R"( in \d+\.\d\d seconds with )" + std::to_string(counted) + R"( file\(s\)\.)";
    if (counted == 0)
        return R"(There is currently no Files to Sort\.)";
    if (moveAttempted)
        return "Process Finished" + tail;
    return R"(No files was sorted\. Exceptions may be toggled\. Scanning Finished)" + tail;
}

// Runs once over the directory and checks every property; returns the files held by a rule.
std::set<std::string> checkedRun(const ScratchDir &dir, const std::set<std::string> &vanishing) {
    const Tree before = snapshot(dir.path());
    const Expectation expectation = expect(dir.path(), before);
    const bool flagBefore = hasSortProcessStarted;
    beforeEachMove = [&vanishing](const fs::path &file) {
        if (vanishing.count(file.filename().native()) != 0)
            fs::remove(file);
    };
    Lines lines;
    sortDirectory(dir.text(), std::chrono::steady_clock::now(),
                  [&lines](std::string_view line) { lines.emplace_back(line); });
    beforeEachMove = nullptr;

    EXPECT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "Result Summary: ");
    Replay replay(dir, before, vanishing);
    for (std::size_t i = 1; i + 1 < lines.size(); ++i)
        replay.line(lines[i], expectation.movable);
    EXPECT_EQ(replay.reportedFiles(), expectation.movable) << "a file to move has no line";
    const Tree after = snapshot(dir.path());
    EXPECT_EQ(after, replay.result()) << "on disk:\n"
                                      << describe(after) << "expected:\n"
                                      << describe(replay.result());
    EXPECT_TRUE(std::regex_match(
        lines.back(), std::regex(expectedSummary(expectation.counted,
                                                 flagBefore || !expectation.movable.empty()))))
        << lines.back();
    return expectation.held;
}

int seedCount() {
    const char *seeds = std::getenv("PALLIMOR_SEEDS");
    return seeds ? std::atoi(seeds) : 40;
}

void setAllSwitches(bool held) {
    for (auto &[category, value] : FileCategory)
        value = held;
}

} // namespace

TEST(HostileDirectory, NothingIsLostAndEveryMoveFollowsTheRules) {
    for (int seed = 0; seed < seedCount() && !testing::Test::HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        ScratchDir dir;
        const std::set<std::string> vanishing = DirectoryMaker(seed, dir.path()).build();
        hasSortProcessStarted = false;
        const std::set<std::string> heldFirst = checkedRun(dir, vanishing);
        const std::set<std::string> heldSecond = checkedRun(dir, {});
        EXPECT_TRUE(
            std::includes(heldSecond.begin(), heldSecond.end(), heldFirst.begin(), heldFirst.end()))
            << "a file left in place for a rule is no longer held back";
    }
}

TEST(HostileDirectory, FilesAppearingAtTargetNamesAreNeverReplaced) {
    setAllSwitches(false);
    ScratchDir dir;
    const int movers = 1500;
    // "r.zip", "r1.zip", "r2.zip"...: each one's numbered names are the others' own names.
    const auto moverName = [](int i) { return "r" + (i == 0 ? "" : std::to_string(i)) + ".zip"; };
    for (int i = 0; i < movers; ++i)
        dir.write(moverName(i), "mover " + std::to_string(i));
    const fs::path folder = dir.path() / "Uncategorized";
    fs::create_directory(folder);

    // The other side learns which file is about to move and at once takes the first free name
    // of it, never replacing, so that its files appear while the run is choosing that name.
    std::map<fs::path, int> moverIndex;
    for (int i = 0; i < movers; ++i)
        moverIndex[moverName(i)] = i;
    std::atomic<int> moving = -1;
    beforeEachMove = [&](const fs::path &file) { moving = moverIndex.at(file.filename()); };
    std::atomic<bool> runDone = false;
    std::vector<std::string> created;
    std::thread other([&] {
        for (int seen = -1; !runDone;) {
            const int mover = moving;
            if (mover == seen)
                continue;
            seen = mover;
            for (int count = 0; count < 10; ++count) {
                const std::string name = candidateName(moverName(mover), count);
                const int fd = ::open((folder / name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                if (fd < 0)
                    continue;
                const std::string content = "other " + name;
                EXPECT_EQ(::write(fd, content.data(), content.size()),
                          static_cast<ssize_t>(content.size()));
                ::close(fd);
                created.push_back(name);
                break;
            }
        }
    });
    Lines lines;
    sortDirectory(dir.text(), std::chrono::steady_clock::now(),
                  [&lines](std::string_view line) { lines.emplace_back(line); });
    runDone = true;
    other.join();
    beforeEachMove = nullptr;

    const std::map<std::string, std::string> files = dir.files();
    std::multiset<std::string> contents;
    for (const auto &[path, content] : files)
        contents.insert(content);
    for (int i = 0; i < movers; ++i)
        EXPECT_EQ(contents.count("mover " + std::to_string(i)), 1u) << "mover " << i;
    for (const std::string &name : created) {
        const auto file = files.find("Uncategorized/" + name);
        EXPECT_TRUE(file != files.end() && file->second == "other " + name) << name;
    }
    EXPECT_EQ(files.size(), movers + created.size());
    EXPECT_EQ(lines.size(), movers + 2u);
    EXPECT_FALSE(created.empty());
}
