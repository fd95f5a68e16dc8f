#include "sortrun.h"
#include "testdata.h"

#include <gtest/gtest.h>

using namespace model;

// The log of a run of `dir` started an hour ago, worded as the model words it, with what the
// model foretells befalling its files.
static Lines logOf(const fs::path &dir) {
    Lines lines;
    std::vector<std::ifstream> open;
    const auto log = [&](std::string_view line) {
        lines.push_back(worded(std::string(line), "36\\d\\d\\.\\d\\d"));
    };
    const auto befallen = [&](const fs::path &file) { befall(dir, file, open); };
    pallimor::sortDirectory(pallimor::utf8FromPath(dir),
                            std::chrono::steady_clock::now() - std::chrono::hours(1), log,
                            befallen);
    return lines;
}

// Start-up holds no category and no move has begun. Then a run over each generated directory,
// every log line in listing order and the tree after it as the model foretells. The first two
// directories also hold a file of each extension of the catalogue, with every switch off, then
// on; the others switch each category on by chance.
// PALLIMOR_SEEDS sets the number of directories.
TEST(Run, EveryFileEndsWhereTheRulesSayAndLogsOneLine) {
    EXPECT_EQ(pallimor::CATEGORIES.size(), 368u);
    EXPECT_FALSE(std::ranges::any_of(pallimor::FileCategory, [](auto &c) { return c.second; }));
    EXPECT_FALSE(pallimor::hasSortProcessStarted);
    const char *seeds = std::getenv("PALLIMOR_SEEDS");
    const fs::path root = fs::temp_directory_path() / "pallimor-run";
    for (unsigned seed = 0; seed < (seeds ? std::stoul(seeds) : 40u) && !HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        for (auto &[category, held] : pallimor::FileCategory)
            held = seed < 2 ? seed == 1 : random() % 5 < 2;
        pallimor::hasSortProcessStarted = seed % 2;
        fill(root, random, {"keep", "keep", "vanish", "race", "drop", "open"});
        for (const auto &row : readTable("catalogue.txt"))
            if (seed < 2)
                write(root / ("file" + row[0]), "keep file" + row[0]);
        const auto [lines, tree] = replay(root);
        EXPECT_EQ(logOf(root), lines);
        EXPECT_EQ(snapshot(root), tree);
    }
    fs::remove_all(root);
}

// Runs that move nothing: over a directory that cannot be listed, whose name must not break the
// line either, and over one whose only file is held.
TEST(Run, ARunThatMovesNothingSaysWhy) {
    const fs::path missing = fs::temp_directory_path() / "missing\nfolder";
    EXPECT_EQ(logOf(missing),
              (Lines{"Result Summary: ",
                     "Error listing directory " + shown(pallimor::utf8FromPath(missing)) + ": ",
                     "There is currently no Files to Sort."}));
    const fs::path held = fs::temp_directory_path() / "pallimor-held";
    write(held / "setup.ini", "keep");
    EXPECT_EQ(logOf(held), replay(held).first);
    fs::remove_all(held);
}
