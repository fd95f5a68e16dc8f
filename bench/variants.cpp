#include "variants.h"

#include "catalogue.h"
#include "nativefs.h"
#include "painting.h"
#include "rules.h"
#include "sortrun.h"

#include <QTextEdit>

#include <chrono>

#include <sys/stat.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Rename {
    fs::path from;
    fs::path to;
};

std::vector<Rename> renamesOf(const Workload &workload) {
    std::vector<Rename> renames;
    for (const Workload::File &file : workload.plannedMoves())
        renames.push_back(
            {workload.directory() / file.relative, workload.directory() / file.expected});
    return renames;
}

std::string treeThenLog(const Workload &workload, std::string_view log) {
    std::string fault = workload.checkTree();
    return fault.empty() ? workload.checkLog(log) : fault;
}

void literalSortFile(const std::string &filepath, const std::string &destinationFolder,
                     QTextEdit &outputTextEdit) {
    const std::string filename = fs::path(filepath).filename().string();
    const std::string extension = pallimor::getFileExtension(filepath);
    const std::string stem = filename.substr(0, filename.size() - extension.size());
    std::string newPath = destinationFolder + "/" + filename;
    for (int count = 1; fs::exists(newPath); ++count)
        newPath = destinationFolder + "/" + stem + std::to_string(count) + extension;
    std::error_code error;
    fs::rename(filepath, newPath, error);
    const std::string line = error ? "Error moving file " + filepath + ": " + error.message()
                                   : "Moved: " + filepath + " -> " + newPath;
    outputTextEdit.append(QString::fromStdString(line));
}

int literalWalk(const std::string &sourceDir, QTextEdit &outputTextEdit) {
    using namespace pallimor;
    int totalFileCounts = 0;
    for (const fs::directory_entry &entry : fs::directory_iterator(sourceDir)) {
        const std::string fullFilePath = entry.path().string();
        const std::string filename = entry.path().filename().string();
        if (filename == "Pallimor.cpp" || isCriticalFile(filename) || isHiddenFile(filename))
            continue;
        if (!fs::is_regular_file(fullFilePath))
            continue;
        ++totalFileCounts;
        if ((isPlainFile(fullFilePath) && FileCategory["Plain-Files"]) || isNotIncluded(filename) ||
            isException(filename))
            continue;
        const std::string destinationFolder = sourceDir + "/" + categorizeFile(filename);
        fs::create_directories(destinationFolder);
        literalSortFile(fullFilePath, destinationFolder, outputTextEdit);
    }
    return totalFileCounts;
}

} // namespace

Measurement runFloor(const Workload &workload) {
    const std::vector<fs::path> folders = workload.newFolders();
    const std::vector<Rename> renames = renamesOf(workload);
    Measurement result;
    const auto started = Clock::now();
    for (const fs::path &folder : folders) {
        if (::mkdir(folder.c_str(), 0777) != 0 && result.fault.empty())
            result.fault = "cannot make " + folder.native();
    }
    for (const Rename &rename : renames) {
        if (pallimor::moveWithoutReplacing(rename.from, rename.to) && result.fault.empty())
            result.fault = "cannot move " + rename.from.native();
    }
    result.seconds = secondsSince(started);
    if (result.fault.empty())
        result.fault = workload.checkTree();
    return result;
}

Measurement runEngine(const Workload &workload) {
    std::string log;
    const pallimor::LogSink appendLine = [&log](std::string_view line) {
        if (!log.empty())
            log += '\n';
        log += line;
    };
    Measurement result;
    const auto started = Clock::now();
    pallimor::sortDirectory(workload.directoryText(), started, appendLine);
    result.seconds = secondsSince(started);
    result.fault = treeThenLog(workload, log);
    return result;
}

Measurement runLiteralReference(const Workload &workload) {
    QTextEdit outputTextEdit;
    outputTextEdit.setReadOnly(true);
    outputTextEdit.resize(679, 471);
    outputTextEdit.show();
    Measurement result;
    if (!waitUntilExposed(outputTextEdit)) {
        result.fault = "the reference pane was never shown";
        return result;
    }
    PaintCounter paints(outputTextEdit.viewport());
    const auto started = Clock::now();
    outputTextEdit.clear();
    outputTextEdit.append("Result Summary: ");
    const int totalFileCounts = literalWalk(workload.directoryText(), outputTextEdit);
    outputTextEdit.append("Process Finished in " + QString::number(secondsSince(started), 'f', 2) +
                          " seconds with " + QString::number(totalFileCounts) + " file(s).");
    paints.reset();
    const bool painted = paints.waitForPaint();
    result.seconds = secondsSince(started);
    result.fault = painted ? treeThenLog(workload, outputTextEdit.toPlainText().toStdString())
                           : "the reference pane was never painted";
    return result;
}
