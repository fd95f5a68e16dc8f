#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

// A directory of files to sort and the exact outcome a correct run must leave: every file
// where it belongs, found by its inode so that a file moved to the wrong name cannot pass.
class Workload {
public:
    struct File {
        std::string relative; // where the file lies before the run
        std::string expected; // where it must lie after the run
        ino_t inode = 0;
    };

    Workload(std::filesystem::path directory, int fileCount);

    void create();
    void remove() const;

    const std::filesystem::path &directory() const { return root; }
    std::string directoryText() const { return root.native(); }
    int fileCount() const { return static_cast<int>(moves.size()); }
    const std::vector<File> &plannedMoves() const { return moves; }

    // The folders a run has to make, parents before children.
    std::vector<std::filesystem::path> newFolders() const;

    // Each gives an empty string when the outcome is right, or else the first fault found.
    std::string checkTree() const;
    std::string checkLog(std::string_view log) const;

private:
    void plan(int fileCount);
    void addOccupant(const std::string &relative);

    std::filesystem::path root;
    std::vector<File> moves;
    // Files already in the category folders, which no run may replace.
    std::vector<File> occupants;
};
