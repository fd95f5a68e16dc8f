#pragma once

#include "workload.h"

#include <filesystem>
#include <string>

struct Measurement {
    double seconds = 0;
    // Only the window run fills these: its process's peak resident memory, start-up included,
    // when the pane is shown and once the pane has laid out every line.
    double paneAfterEngine = 0; // from the engine's last line to the painted pane
    long peakKiB = 0;
    long laidOutPeakKiB = 0;
    std::string fault; // empty when the run left the right tree and log
};

// The least the file system must do: the folders and the no-replace renames, from a list.
Measurement runFloor(const Workload &workload);

// The engine alone, from the directory to its last log line.
Measurement runEngine(const Workload &workload);

// The real window in a process of its own, so that its peak memory is its own; `scratch` is a
// path prefix for the files through which it reports.
Measurement runWindow(const Workload &workload, const std::filesystem::path &executable,
                      const std::filesystem::path &scratch);

// The steps as first written: existence test, folder creation and rename through
// std::filesystem for every file, and one QTextEdit::append per log line.
Measurement runLiteralReference(const Workload &workload);

// The body of the process that runWindow starts.
int windowRunMain(int argc, char **argv, const std::string &directory,
                  const std::filesystem::path &scratch);
