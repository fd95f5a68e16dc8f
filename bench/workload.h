#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

// A directory of files to sort and the exact outcome a correct run must leave. Files are
// followed by their inodes, so that a file moved to the wrong name cannot pass.
struct Workload {
    struct File {
        std::string from; // relative to the directory, before the run
        std::string to;   // and after it
        ino_t inode = 0;
    };

    Workload(std::filesystem::path root, int fileCount);

    // Makes the directory afresh, with its files and the names already taken.
    void create();

    // Each throws std::runtime_error naming the first fault found.
    void checkTree() const;
    void checkLog(std::string_view log) const;

    const std::filesystem::path root;
    std::vector<File> moves;
    // Files already in the category folders, which no run may touch.
    std::vector<File> occupants;
};
