#pragma once

#include "catalogue.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

namespace pallimor {

// Receives each line of a run's log, in order, as UTF-8 text.
using LogSink = std::function<void(std::string_view line)>;

// Called with the name of each file a run is about to move, before its folder is made.
using FileHook = std::function<void(const std::filesystem::path &filename)>;

// Called on the run's thread once the listing is read, with 0 of the entries listed, and after
// each entry is examined.
using ProgressHook = std::function<void(std::size_t examined, std::size_t listed)>;

// What a run goes by, fixed when it starts, whatever its caller changes meanwhile.
struct RunSettings {
    Switches switches = FileCategory;
    // Asked before each entry, so that a stop never cuts a move in half.
    std::stop_token stop{};
    // Lets a caller change the directory between the listing and a move.
    FileHook beforeEachMove{};
    ProgressHook progress{};
};

// Whether `sourceDir` names an existing directory that a run may sort.
bool isSortableDirectory(const std::string &sourceDir);

// Sorts every regular file lying directly in `sourceDir` (UTF-8) into its category folder,
// from the "Result Summary: " line to the summary line. The directory is listed whole first: a
// file that appears after that waits for the next run. `start` is when the user confirmed,
// so the summary's seconds include the questions asked since.
void sortDirectory(const std::string &sourceDir, std::chrono::steady_clock::time_point start,
                   const LogSink &log, const RunSettings &settings = {});

} // namespace pallimor
