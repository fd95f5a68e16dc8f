#include "catalogue.h"
#include "nativefs.h"
#include "scratchdir.h"
#include "sortrun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace pallimor;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;
using Lines = std::vector<std::string>;

namespace {

#ifdef _WIN32
constexpr bool namesIgnoreCase = true;
#else
constexpr bool namesIgnoreCase = false;
#endif

void setAllSwitches(bool held) {
    for (auto &[category, value] : FileCategory)
        value = held;
}

Lines sortLines(const std::string &directory,
                std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now()) {
    Lines lines;
    sortDirectory(directory, start, [&lines](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

// The listing order is the platform's, so compare the lines between header and summary as a set.
Lines movesOf(Lines lines) {
    lines.erase(lines.begin());
    lines.pop_back();
    std::sort(lines.begin(), lines.end());
    return lines;
}

// A log line must read as text on its own line: well-formed UTF-8 without a line break.
bool isOneLineOfUtf8(std::string_view line) {
    for (std::size_t i = 0; i < line.size();) {
        const auto lead = static_cast<unsigned char>(line[i]);
        if (lead == '\n' || lead == '\r')
            return false;
        std::size_t length = 0;
        if (lead < 0x80)
            length = 1;
        else if (lead >= 0xC2 && lead < 0xE0)
            length = 2;
        else if (lead >= 0xE0 && lead < 0xF0)
            length = 3;
        else if (lead >= 0xF0 && lead < 0xF5)
            length = 4;
        if (length == 0 || i + length > line.size())
            return false;
        for (std::size_t next = i + 1; next < i + length; ++next) {
            if ((static_cast<unsigned char>(line[next]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

class SortRun : public ::testing::Test {
protected:
    void SetUp() override {
        setAllSwitches(false);
        hasSortProcessStarted = false;
    }

    std::string moved(const std::string &from, const std::string &to) const {
        return "Moved: " + dir.text() + "/" + from + " -> " + dir.text() + "/" + to;
    }

    ScratchDir dir;
};

} // namespace

TEST_F(SortRun, MixedDirectoryGivesTheExactTreeAndLog) {
    FileCategory["Images"] = true;
    FileCategory["Plain-Files"] = true;
    for (const char *name : {"photo.jpg", "PHOTO2.JPG", "report.pdf", "main.cpp", "clip.ratDVD",
                             "README", "archive.zip", "setup.ini", "BOOT.INI", ".hidden.pdf",
                             "notes.profile", "Pallimor.cpp", "sub/inner.pdf"})
        dir.write(name);
    dir.makeFolder("empty.pdf");

    const Lines lines = sortLines(dir.text());

    const Files expectedTree = {
        {"photo.jpg", "photo.jpg"},
        {"PHOTO2.JPG", "PHOTO2.JPG"},
        {"Documents/Pdf/report.pdf", "report.pdf"},
        {"Programming-Languages/Cpp/main.cpp", "main.cpp"},
        {"Videos/Ratdvd/clip.ratDVD", "clip.ratDVD"},
        {"README", "README"},
        {"Uncategorized/archive.zip", "archive.zip"},
        {"setup.ini", "setup.ini"},
        {"BOOT.INI", "BOOT.INI"},
        {".hidden.pdf", ".hidden.pdf"},
        {"notes.profile", "notes.profile"},
        {"Pallimor.cpp", "Pallimor.cpp"},
        {"sub/inner.pdf", "sub/inner.pdf"},
    };
    EXPECT_EQ(dir.files(), expectedTree);
    EXPECT_TRUE(fs::is_directory(dir.path() / "empty.pdf"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "Result Summary: ");
    Lines expectedMoves = {
        moved("report.pdf", "Documents/Pdf/report.pdf"),
        moved("main.cpp", "Programming-Languages/Cpp/main.cpp"),
        moved("clip.ratDVD", "Videos/Ratdvd/clip.ratDVD"),
        moved("archive.zip", "Uncategorized/archive.zip"),
    };
    std::sort(expectedMoves.begin(), expectedMoves.end());
    EXPECT_EQ(movesOf(lines), expectedMoves);
    EXPECT_TRUE(std::regex_match(
        lines.back(), std::regex(R"(Process Finished in \d+\.\d\d seconds with 9 file\(s\)\.)")))
        << lines.back();
}

TEST_F(SortRun, TakenNamesGetTheFirstFreeNumber) {
    struct Row {
        const char *why;
        std::string name;
        std::vector<std::string> taken;
        bool takenAsFolder;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"two taken", "report.pdf", {"report.pdf", "report1.pdf"}, false, "report2.pdf"},
        {"gap is used", "report.pdf", {"report.pdf", "report2.pdf"}, false, "report1.pdf"},
        {"no extension", "README", {"README", "README1"}, false, "README2"},
        {"only the last extension", "a.tar.gz", {"a.tar.gz"}, false, "a.tar1.gz"},
        {"a folder takes the name", "report.pdf", {"report.pdf"}, true, "report1.pdf"},
        {"non-ASCII name", "été.jpg", {"été.jpg"}, false, "été1.jpg"},
        {"differs only in letter case",
         "Report.pdf",
         {"report.pdf"},
         false,
         namesIgnoreCase ? "Report1.pdf" : "Report.pdf"},
#ifndef _WIN32
        // Windows drops a trailing dot from every name it is given.
        {"trailing dot", "notes.", {"notes."}, false, "notes1."},
#endif
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        ScratchDir scratch;
        scratch.write(row.name, "moving");
        for (const std::string &taken : row.taken) {
            if (row.takenAsFolder)
                scratch.makeFolder("target/" + taken);
            else
                scratch.write("target/" + taken, "kept " + taken);
        }
        Lines lines;
        sortFile(scratch.pathOf(row.name), scratch.pathOf("target"),
                 [&lines](std::string_view line) { lines.emplace_back(line); });

        Files expected;
        for (const std::string &taken : row.taken) {
            if (!row.takenAsFolder)
                expected["target/" + taken] = "kept " + taken;
        }
        expected["target/" + row.expected] = "moving";
        EXPECT_EQ(scratch.files(), expected);
        EXPECT_EQ(lines, Lines{"Moved: " + scratch.text() + "/" + row.name + " -> " +
                               scratch.text() + "/target/" + row.expected});
    }
}

TEST_F(SortRun, NamesOutsideAsciiAreMovedAndLogged) {
    struct Row {
        const char *why;
        std::string name;
        std::string folder;
    };
    const std::vector<Row> rows = {
        {"accents", "été.jpg", "Images/Jpg"},
        {"capital accents", "ÇA VA.JPG", "Images/Jpg"},
        {"CJK", "写真.png", "Images/Png"},
        {"emoji", "🎉 party.mp3", "Audios/Mp3"},
        {"CJK without extension", "説明書", "Plain-Files"},
        {"extension outside ASCII", "notes.тхт", "Uncategorized"},
    };
    // The sorted directory's own name is not ASCII either, so every path built from it is too.
    const std::string sorted = "Ordner für Fotos 相片";
    for (const Row &row : rows)
        dir.write(sorted + "/" + row.name, row.name);

    const Lines lines = sortLines(dir.text() + "/" + sorted);

    Files expectedTree;
    Lines expectedMoves;
    for (const Row &row : rows) {
        const std::string target = row.folder + "/" + row.name;
        expectedTree[sorted + "/" + target] = row.name;
        expectedMoves.push_back(moved(sorted + "/" + row.name, sorted + "/" + target));
    }
    std::sort(expectedMoves.begin(), expectedMoves.end());
    EXPECT_EQ(dir.files(), expectedTree);
    EXPECT_EQ(movesOf(lines), expectedMoves);
}

TEST_F(SortRun, ReadOnlyFilesAreMovedButNeverReplaced) {
    struct Row {
        const char *why;
        bool nameTaken;
        std::string readOnly;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"read-only file takes the name", true, "target/report.pdf", "report1.pdf"},
        {"read-only file moves", false, "report.pdf", "report.pdf"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        ScratchDir scratch;
        scratch.write("report.pdf", "moving");
        if (row.nameTaken)
            scratch.write("target/report.pdf", "kept");
        else
            scratch.makeFolder("target");
        scratch.makeReadOnly(row.readOnly);
        Lines lines;
        sortFile(scratch.pathOf("report.pdf"), scratch.pathOf("target"),
                 [&lines](std::string_view line) { lines.emplace_back(line); });

        Files expected = {{"target/" + row.expected, "moving"}};
        if (row.nameTaken)
            expected["target/report.pdf"] = "kept";
        EXPECT_EQ(scratch.files(), expected);
        EXPECT_EQ(lines, Lines{"Moved: " + scratch.text() + "/report.pdf -> " + scratch.text() +
                               "/target/" + row.expected});
    }
}

TEST_F(SortRun, WhatNoRuleMayMoveIsNeitherMovedNorCounted) {
    for (const char *name :
         {".hidden", ".bashrc", "Pallimor.cpp", "notes.profile", "sub/a.pdf", "sub/deeper/b.zip"})
        dir.write(name);
    dir.makeFolder("Images");
    const Files before = dir.files();

    EXPECT_EQ(sortLines(dir.text()),
              (Lines{"Result Summary: ", "There is currently no Files to Sort."}));
    EXPECT_EQ(dir.files(), before);
    EXPECT_FALSE(hasSortProcessStarted);
}

TEST_F(SortRun, SummaryWordingsFollowTheFlagThatNeverResets) {
    const std::regex scanned(
        R"(No files was sorted\. Exceptions may be toggled\. Scanning Finished in \d+\.\d\d seconds with 1 file\(s\)\.)");
    const std::regex finished(R"(Process Finished in \d+\.\d\d seconds with (\d+) file\(s\)\.)");
    setAllSwitches(true);
    dir.write("photo.jpg");
    EXPECT_TRUE(std::regex_match(sortLines(dir.text()).back(), scanned));

    FileCategory["Images"] = false;
    EXPECT_TRUE(std::regex_match(sortLines(dir.text()).back(), finished));
    EXPECT_TRUE(hasSortProcessStarted);

    FileCategory["Images"] = true;
    dir.write("second.jpg");
    EXPECT_TRUE(std::regex_match(sortLines(dir.text()).back(), finished));
    EXPECT_EQ(dir.files().count("second.jpg"), 1u);
}

TEST_F(SortRun, SecondsCountFromTheGivenStart) {
    dir.write("a.zip");
    const auto start = std::chrono::steady_clock::now() - std::chrono::milliseconds(2500);
    const std::string summary = sortLines(dir.text(), start).back();
    std::smatch seconds;
    ASSERT_TRUE(std::regex_search(summary, seconds, std::regex(R"(in (\d+\.\d\d) seconds)")));
    EXPECT_GE(std::stod(seconds[1]), 2.5);
    EXPECT_LT(std::stod(seconds[1]), 60.0);
}

TEST_F(SortRun, TrailingSeparatorIsKeptInTheLoggedPaths) {
    struct Row {
        const char *why;
        std::string separator;
    };
    const std::vector<Row> rows = {
        {"slash", "/"},
#ifdef _WIN32
        {"backslash", "\\"},
#endif
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        ScratchDir scratch;
        scratch.write("a.zip");
        const std::string typed = scratch.text() + row.separator;
        const Lines lines = sortLines(typed);
        EXPECT_EQ(movesOf(lines),
                  Lines{"Moved: " + typed + "a.zip -> " + typed + "/Uncategorized/a.zip"});
        EXPECT_EQ(scratch.files(), (Files{{"Uncategorized/a.zip", "a.zip"}}));
    }
}

TEST_F(SortRun, FailuresBecomeOneLineAndTheRunGoesOn) {
    struct Row {
        const char *why;
        std::vector<std::string> files;
        std::string failing;
        int counted;
    };
    const std::string longStem(251, 'n');
    const std::vector<Row> rows = {
        {"file where the category folder goes", {"Uncategorized", "a.zip", "b.pdf"}, "a.zip", 3},
        {"file where the extension folder goes", {"Documents/Pdf", "c.pdf", "d.zip"}, "c.pdf", 2},
        {"numbered name too long",
         {longStem + ".zip", "Uncategorized/" + longStem + ".zip", "e.pdf"},
         longStem + ".zip",
         2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        ScratchDir scratch;
        for (const std::string &name : row.files)
            scratch.write(name);
        FileCategory["Plain-Files"] = true;
        hasSortProcessStarted = false;

        const Lines lines = sortLines(scratch.text());

        EXPECT_EQ(scratch.files().count(row.failing), 1u) << "the file must stay";
        const Lines moves = movesOf(lines);
        const std::string error = "Error moving file " + scratch.text() + "/" + row.failing + ": ";
        EXPECT_EQ(std::count_if(moves.begin(), moves.end(),
                                [&](const std::string &line) { return line.rfind(error, 0) == 0; }),
                  1)
            << ::testing::PrintToString(lines);
        EXPECT_EQ(
            std::count_if(moves.begin(), moves.end(),
                          [](const std::string &line) { return line.rfind("Moved: ", 0) == 0; }),
            1)
            << "the other file still moves";
        EXPECT_TRUE(hasSortProcessStarted);
        EXPECT_NE(lines.back().find(" with " + std::to_string(row.counted) + " file(s)."),
                  std::string::npos)
            << lines.back();
    }
}

TEST_F(SortRun, ADirectoryThatCannotBeListedEndsWithTheSummary) {
    dir.write("file.txt");
    const Lines lines = sortLines(dir.text() + "/file.txt");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].rfind("Error listing directory " + dir.text() + "/file.txt: ", 0), 0u);
    EXPECT_TRUE(isOneLineOfUtf8(lines[1])) << lines[1];
    EXPECT_EQ(lines[2], "There is currently no Files to Sort.");
}

TEST_F(SortRun, AFileThatVanishesAfterTheListingIsReportedAndCounted) {
    dir.write("gone.pdf");
    dir.write("other.zip");
    beforeEachMove = [](const fs::path &file) {
        if (file.filename() == "gone.pdf")
            fs::remove(file);
    };
    const Lines lines = sortLines(dir.text());
    beforeEachMove = nullptr;

    const Lines moves = movesOf(lines);
    ASSERT_EQ(moves.size(), 2u) << ::testing::PrintToString(lines);
    EXPECT_EQ(moves[0].rfind("Error moving file " + dir.text() + "/gone.pdf: ", 0), 0u);
    EXPECT_TRUE(isOneLineOfUtf8(moves[0])) << moves[0];
    EXPECT_EQ(moves[1], moved("other.zip", "Uncategorized/other.zip"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "Documents/Pdf")) << "the folder made for it stays";
    EXPECT_NE(lines.back().find(" with 2 file(s)."), std::string::npos) << lines.back();
}

TEST_F(SortRun, AFolderRemovedMidRunIsMadeAgain) {
    dir.write("a.pdf");
    Lines lines;
    sortFile(dir.pathOf("a.pdf"), dir.pathOf("Documents/Pdf"),
             [&lines](std::string_view line) { lines.emplace_back(line); });
    EXPECT_EQ(dir.files(), (Files{{"Documents/Pdf/a.pdf", "a.pdf"}}));
    EXPECT_EQ(lines, Lines{moved("a.pdf", "Documents/Pdf/a.pdf")});
}

TEST_F(SortRun, MoveNeverReplacesATakenName) {
    dir.write("mine.txt", "mine");
    dir.write("theirs.txt", "theirs");
    EXPECT_EQ(moveWithoutReplacing(dir.path() / "mine.txt", dir.path() / "theirs.txt"),
              std::errc::file_exists);
    EXPECT_EQ(dir.files(), (Files{{"mine.txt", "mine"}, {"theirs.txt", "theirs"}}));
    EXPECT_FALSE(moveWithoutReplacing(dir.path() / "mine.txt", dir.path() / "free.txt"));
    EXPECT_EQ(dir.files(), (Files{{"free.txt", "mine"}, {"theirs.txt", "theirs"}}));
}

#ifdef _WIN32
// Another program may hold a file open without letting it be renamed, which Linux never does.
TEST_F(SortRun, AFileHeldOpenStaysAndTheRunGoesOn) {
    dir.write("held.pdf");
    dir.write("free.zip");
    const HANDLE held = CreateFileW(dir.pathOf("held.pdf").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const Lines lines = sortLines(dir.text());
    CloseHandle(held);

    EXPECT_EQ(dir.files(),
              (Files{{"held.pdf", "held.pdf"}, {"Uncategorized/free.zip", "free.zip"}}));
    const Lines moves = movesOf(lines);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].rfind("Error moving file " + dir.text() + "/held.pdf: ", 0), 0u);
    EXPECT_TRUE(isOneLineOfUtf8(moves[0])) << moves[0];
    EXPECT_EQ(moves[1], moved("free.zip", "Uncategorized/free.zip"));
}
#endif

// Names that Windows cannot hold: bytes that are not UTF-8, a trailing dot (which Windows drops
// from every name it is given) and a backslash (which separates names there).
#ifndef _WIN32
TEST_F(SortRun, NamesOnlyLinuxCanHoldMoveUnchanged) {
    struct Row {
        const char *why;
        std::string name;
        std::string folder;
    };
    const std::vector<Row> rows = {
        {"not UTF-8", "caf\xE9.ZIP", "Uncategorized"},
        {"trailing dot", "notes.", "Uncategorized"},
        {"backslash", "a\\b.pdf", "Documents/Pdf"},
    };
    for (const Row &row : rows)
        dir.write(row.name, "bytes of " + row.name);

    const Lines lines = sortLines(dir.text());

    Files expectedTree;
    Lines expectedMoves;
    for (const Row &row : rows) {
        expectedTree[row.folder + "/" + row.name] = "bytes of " + row.name;
        expectedMoves.push_back(moved(row.name, row.folder + "/" + row.name));
    }
    std::sort(expectedMoves.begin(), expectedMoves.end());
    EXPECT_EQ(dir.files(), expectedTree);
    EXPECT_EQ(movesOf(lines), expectedMoves);
}
#endif
