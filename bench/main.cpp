#include "catalogue.h"
#include "heap.h"
#include "mainwindow.h"
#include "nativefs.h"
#include "rules.h"
#include "runlog.h"
#include "sortrun.h"
#include "workload.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// One timed run. The variants throw on a fault; the caller checks the tree and `log`.
struct Measurement {
    double seconds = 0;
    std::string log; // what the run logged, every line of it; the floor logs nothing
    // Only the window run fills these.
    double paneAfterEngine = 0; // from the engine's last line to the painted pane
    double peakMB = 0;          // its process's peak resident memory once the pane has settled
    double copiedPeakMB = 0;    // the same once the whole log has been read and copied
    // Of its event loop, from the answer until the next run has cleared the pane and ended.
    double longestStall = 0;
    double engineBytesPerFile = 0; // the engine's own peak heap beyond what it started with
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Shows `window`, runs `action`, then the event loop until `pane` is painted with `isOver`
// true: the seconds from the start of `action` to that paint.
double secondsUntilPainted(
    QWidget &window, QWidget *pane, const std::function<void()> &action,
    const std::function<bool()> &isOver = [] { return true; }) {
    window.show();
    if (!QTest::qWaitForWindowExposed(&window, 60000))
        throw std::runtime_error("the window was never shown");
    struct PaintWatch : QObject {
        explicit PaintWatch(const std::function<bool()> &isOver) : isOver(isOver) {}
        bool eventFilter(QObject *, QEvent *event) override {
            painted = painted || (event->type() == QEvent::Paint && isOver());
            return false;
        }
        const std::function<bool()> &isOver;
        bool painted = false;
    } watch(isOver);
    pane->installEventFilter(&watch);
    const auto started = Clock::now();
    action();
    // Not QTest::qWaitFor, which pauses between its turns.
    for (const QDeadlineTimer deadline(60000); !watch.painted && !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!watch.painted)
        throw std::runtime_error("the pane was never painted");
    return secondsSince(started);
}

// The high-water mark of this process's own memory. getrusage would not do: its figure survives
// exec and so may be the benchmark's own, from before this process started.
double peakMB() {
    std::ifstream file("/proc/self/status");
    const std::string status(std::istreambuf_iterator<char>(file), {});
    return std::stod(status.substr(status.find("VmHWM:") + 6)) * 1024 / 1e6;
}

// The least the file system must do: one mkdir per new folder and one no-replace rename per
// file, relative to the directory's descriptor, from a list made before timing.
Measurement runFloor(const Workload &workload) {
    // In path order a parent comes before its children.
    std::set<fs::path> folders;
    for (const Workload::File &file : workload.moves)
        for (fs::path folder = fs::path(file.to).parent_path(); !folder.empty();
             folder = folder.parent_path())
            folders.insert(folder);
    std::erase_if(folders,
                  [&](const fs::path &folder) { return fs::exists(workload.root / folder); });
    // A step that fails shows in the check of the tree that follows.
    const auto started = Clock::now();
    const int directory = ::open(workload.root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (const fs::path &folder : folders)
        ::mkdirat(directory, folder.c_str(), 0777);
    for (const Workload::File &file : workload.moves)
        ::renameat2(directory, file.from.c_str(), directory, file.to.c_str(), RENAME_NOREPLACE);
    ::close(directory);
    return {secondsSince(started), {}};
}

// The engine alone, from the directory to its last log line, and its own peak heap: the log is
// given room for every line before the count starts, so that it grows into memory already held.
Measurement runEngine(const Workload &workload) {
    std::string log;
    log.reserve(workload.moves.size() * (2 * workload.root.native().size() + 200));
    heap::startCounting();
    const auto started = Clock::now();
    pallimor::sortDirectory(workload.root.native(), started, [&log](std::string_view line) {
        log.append(log.empty() ? "" : "\n").append(line);
    });
    Measurement result{secondsSince(started), std::move(log)};
    result.engineBytesPerFile = double(heap::peakGrowth()) / double(workload.moves.size());
    return result;
}

// The steps as first written: existence test, folder creation and rename through
// std::filesystem for every file, and one QTextEdit::append per log line.
Measurement runLiteralReference(const Workload &workload) {
    QTextEdit pane;
    pane.setReadOnly(true);
    pane.resize(679, 471);
    const std::string sourceDir = workload.root.native();
    const double seconds = secondsUntilPainted(pane, pane.viewport(), [&] {
        const auto started = Clock::now();
        pane.append("Result Summary: ");
        int totalFileCounts = 0;
        for (const fs::directory_entry &entry : fs::directory_iterator(sourceDir)) {
            const std::string filepath = entry.path().string();
            const std::string filename = entry.path().filename().string();
            const pallimor::Placement placement = pallimor::placementOf(filename);
            if (placement.kind == pallimor::Placement::LeftAlone || !fs::is_regular_file(filepath))
                continue;
            ++totalFileCounts;
            if (placement.kind == pallimor::Placement::Held)
                continue;
            const std::string folder = sourceDir + "/" + placement.categoryPath;
            fs::create_directories(folder);
            std::string newPath = folder + "/" + filename;
            for (int count = 1; fs::exists(newPath); ++count)
                newPath = folder + "/" + entry.path().stem().string() + std::to_string(count) +
                          entry.path().extension().string();
            fs::rename(filepath, newPath);
            pane.append(QString::fromStdString("Moved: " + filepath + " -> " + newPath));
        }
        pane.append("Process Finished in " + QString::number(secondsSince(started), 'f', 2) +
                    " seconds with " + QString::number(totalFileCounts) + " file(s).");
    });
    return {seconds, pane.toPlainText().toStdString()};
}

// The real window, in a process of its own so that its peak memory is its own.
Measurement runWindow(const Workload &workload) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {"--window-run", QString::fromStdString(workload.root.native())});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
        throw std::runtime_error("the window process failed");
    std::istringstream output(child.readAllStandardOutput().toStdString());
    Measurement result;
    output >> result.seconds >> result.paneAfterEngine >> result.peakMB >> result.copiedPeakMB >>
        result.longestStall;
    output.ignore(1);
    result.log.assign(std::istreambuf_iterator<char>(output), {});
    return result;
}

// Turns the event loop until the pane's scroll range has held still for a while.
void waitUntilSettled(QPlainTextEdit *pane) {
    int height = -1;
    for (auto steady = Clock::now(); secondsSince(steady) < 0.3;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (pane->verticalScrollBar()->maximum() !=
            std::exchange(height, pane->verticalScrollBar()->maximum()))
            steady = Clock::now();
    }
}

// Reads the finished log as a user would, from its top to its end, and copies it whole; returns
// once the copy is on the clipboard.
void readAndCopy(QPlainTextEdit *pane) {
    QGuiApplication::clipboard()->clear();
    for (const QKeyCombination key :
         {Qt::ControlModifier | Qt::Key_Home, QKeyCombination(Qt::Key_PageDown),
          QKeyCombination(Qt::Key_End), QKeyCombination(Qt::Key_PageUp),
          QKeyCombination(Qt::Key_Home), Qt::ControlModifier | Qt::Key_End,
          Qt::ControlModifier | Qt::Key_A, Qt::ControlModifier | Qt::Key_C}) {
        QTest::keyClick(pane, key.key(), key.keyboardModifiers());
        QCoreApplication::processEvents();
    }
    const auto copied = [] {
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        return data && data->hasText();
    };
    for (const QDeadlineTimer deadline(60000); !copied() && !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The body of the process that runWindow starts, given the directory to sort. It prints its
// figures on a first line, then the pane's text.
int windowRunMain(int argc, char **argv) {
    QApplication app(argc, argv);
    MainWindow window;
    auto *pane = window.findChild<QPlainTextEdit *>("outputTextEdit");
    auto *run = window.findChild<RunLog *>();
    // Unticking All sorts every category, so that every file moves.
    window.findChild<QCheckBox *>("All")->setChecked(false);
    window.findChild<QLineEdit *>("directoryLineEdit")->setText(QString::fromStdString(argv[2]));
    Clock::time_point clicked, confirmed, turned;
    double longestStall = 0;
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, secondsSince(turned));
        turned = Clock::now();
    });
    // Says yes as soon as the question is shown, as a user who has decided would; returns once
    // it is answered, and the window answers while the run goes.
    const auto startRun = [&] {
        QTimer::singleShot(0, [&] {
            turned = confirmed = Clock::now();
            turns.start(1);
            qobject_cast<QMessageBox *>(QApplication::activeModalWidget())
                ->button(QMessageBox::Yes)
                ->click();
        });
        clicked = Clock::now();
        window.findChild<QPushButton *>("sortButton")->click();
    };
    const double seconds = secondsUntilPainted(window, pane->viewport(), startRun,
                                               [run] { return !run->isRunning(); });
    waitUntilSettled(pane);
    QTextCursor end(pane->document());
    end.movePosition(QTextCursor::End);
    if (!pane->viewport()->rect().contains(pane->cursorRect(end)))
        throw std::runtime_error("the summary is out of view");
    const double peak = peakMB();
    // The benchmark's own reading of the log and of the clipboard is no turn of the window's.
    const auto unwatched = [&](const std::function<void()> &step) {
        turns.stop();
        step();
        turned = Clock::now();
        turns.start(1);
    };
    // The summary line's seconds count from the confirmation; the pane joins the lines of a
    // block by line separators.
    const QString summary = pane->document()->lastBlock().text().section(QChar::LineSeparator, -1);
    const double engineEnd = std::chrono::duration<double>(confirmed - clicked).count() +
                             summary.section(' ', 3, 3).toDouble();
    readAndCopy(pane);
    const double copiedPeak = peakMB();
    QString log;
    unwatched([&] {
        log = pane->toPlainText();
        if (QGuiApplication::clipboard()->text() != log)
            throw std::runtime_error("the copy is not the log");
    });
    // The next run, on the sorted directory, clears the pane first.
    startRun();
    while (run->isRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::cout << seconds << ' ' << seconds - engineEnd << ' ' << peak << ' ' << copiedPeak << ' '
              << longestStall << '\n'
              << log.toStdString();
    return 0;
}

enum { Floor, Engine, Window, Reference, VariantCount };

// Beyond this size the literal reference's appends alone would take many minutes.
constexpr int largestReference = 100000;

constexpr std::array<const char *, VariantCount> names = {"floor", "engine alone", "window run",
                                                          "literal reference"};
constexpr std::array<Measurement (*)(const Workload &), VariantCount> runners = {
    runFloor, runEngine, runWindow, runLiteralReference};

struct SizeResult {
    int files;
    // The median of each figure over the runs (the upper one of an even count), but the
    // highest of the peak memories and of the stalls.
    std::array<Measurement, VariantCount> runs;
};

Measurement summarise(std::vector<Measurement> runs) {
    Measurement result;
    if (runs.empty())
        return result;
    for (auto field : {&Measurement::seconds, &Measurement::paneAfterEngine, &Measurement::peakMB,
                       &Measurement::copiedPeakMB, &Measurement::longestStall,
                       &Measurement::engineBytesPerFile}) {
        std::sort(runs.begin(), runs.end(), [&](auto &a, auto &b) { return a.*field < b.*field; });
        const bool worst = field != &Measurement::seconds && field != &Measurement::paneAfterEngine;
        result.*field = (worst ? runs.back() : runs[runs.size() / 2]).*field;
    }
    return result;
}

// The variants take turns within each round, each starting a round in turn, so that a slow
// spell of the disk falls on all of them alike.
SizeResult measure(const fs::path &directory, int files, int rounds) {
    Workload workload(directory / "sorted", files);
    std::array<std::vector<Measurement>, VariantCount> runs;
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < VariantCount; ++turn) {
            const int variant = (round + turn) % VariantCount;
            if (variant == Reference && files > largestReference)
                continue;
            workload.create();
            try {
                runs[variant].push_back(runners[variant](workload));
                workload.checkTree();
                if (variant != Floor)
                    workload.checkLog(std::exchange(runs[variant].back().log, {}));
            } catch (...) {
                std::cerr << "FAULT: " << names[variant] << ", " << files << " files, run "
                          << round + 1 << "; the directory is left at " << workload.root << '\n';
                throw;
            }
            fs::remove_all(workload.root);
        }
    }
    SizeResult result{files, {}};
    for (int variant = 0; variant < VariantCount; ++variant)
        result.runs[variant] = summarise(runs[variant]);
    return result;
}

void printSize(const SizeResult &size) {
    for (int variant = 0; variant < VariantCount; ++variant) {
        const double seconds = size.runs[variant].seconds;
        if (seconds == 0)
            continue;
        std::printf("%8d  %-18s %9.3f %8.2f %13.3f\n", size.files, names[variant], seconds,
                    seconds / size.runs[Floor].seconds, seconds * 10000 / size.files);
    }
    const Measurement &window = size.runs[Window];
    std::printf("%8s  window run: pane painted %.3f s after the engine's end; peak resident "
                "memory %.0f MB, %.0f MB once the log is read and copied;\n%8s  longest stall of "
                "the window %.3f s, from the answer until the next run has cleared the pane\n",
                "", window.paneAfterEngine, window.peakMB, window.copiedPeakMB, "",
                window.longestStall);
    std::printf("%8s  engine alone: peak heap %.0f bytes a file beyond what it started with\n\n",
                "", size.runs[Engine].engineBytesPerFile);
    std::fflush(stdout);
}

// Prints one line of the targets table.
void target(const std::string &what, double value, double limit, bool atMost) {
    const bool met = atMost ? value <= limit : value >= limit;
    std::printf("  %-52s %8.3f  %s\n", what.c_str(), value, met ? "met" : "MISSED");
}

void printTargets(const std::vector<SizeResult> &sizes) {
    const SizeResult &largest = sizes.back();
    const auto seconds = [&](int variant) { return largest.runs[variant].seconds; };
    std::printf("Targets at %d files:\n", largest.files);
    target("window run / floor (<= 1.25)", seconds(Window) / seconds(Floor), 1.25, true);
    target("engine alone / floor (<= 1.15)", seconds(Engine) / seconds(Floor), 1.15, true);
    const Measurement &window = largest.runs[Window];
    target("pane painted after the engine's end, s (<= 0.05)", window.paneAfterEngine, 0.05, true);
    // A stall of 0.25 s and 0.4 KB a file are allowed from a million files up.
    const bool huge = largest.files >= 1000000;
    const double stallLimit = huge ? 0.25 : 0.1, memoryLimit = huge ? largest.files * 4e-4 : 150;
    target("longest stall of the window, s (<= " + std::to_string(stallLimit).substr(0, 4) + ")",
           window.longestStall, stallLimit, true);
    target("window run peak resident memory, MB (<= " + std::to_string(int(memoryLimit)) + ")",
           window.peakMB, memoryLimit, true);
    target("engine alone peak heap, bytes a file (<= 100)", largest.runs[Engine].engineBytesPerFile,
           100, true);
    if (seconds(Reference) > 0)
        target("literal reference / window run (>= 5)", seconds(Reference) / window.seconds, 5,
               false);
    // The time per file must stay flat from a tenth of the largest size up.
    const auto tenth =
        std::ranges::find(sizes, largest.files, [](auto &size) { return size.files * 10; });
    for (int variant : {Window, Engine}) {
        if (tenth != sizes.end())
            target(std::string(names[variant]) + " s/10k at " + std::to_string(largest.files) +
                       " / at " + std::to_string(tenth->files) + " (<= 1.3)",
                   seconds(variant) / tenth->runs[variant].seconds / 10, 1.3, true);
    }
}

} // namespace

int main(int argc, char **argv) {
    std::map<std::string, std::string> options = {
        {"--sizes", "1000,10000,100000"}, {"--runs", "5"}, {"--dir", "pallimor-bench-files"}};
    try {
        if (argc == 3 && argv[1] == std::string("--window-run"))
            return windowRunMain(argc, argv);
        for (int i = 1; i < argc; i += 2) {
            if (!options.contains(argv[i]) || i + 1 == argc)
                throw std::invalid_argument(std::string("cannot use ") + argv[i] +
                                            "; options: --sizes N,N,... --runs N --dir DIR");
            options[argv[i]] = argv[i + 1];
        }
        const fs::path directory = fs::absolute(options["--dir"]);
        const int runs = std::max(1, std::stoi(options["--runs"]));
        // The window runs headless, so the figures do not depend on a desktop.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        // Every switch off, as when every box is unticked: every file moves.
        for (auto &[category, held] : pallimor::FileCategory)
            held = false;
        std::printf("Pallimor benchmark: files in %s, median of %d runs, each checked\n\n",
                    directory.c_str(), runs);
        std::printf("%8s  %-18s %9s %8s %13s\n", "files", "variant", "median s", "x floor",
                    "s/10k files");
        std::vector<SizeResult> sizes;
        std::istringstream list(options["--sizes"]);
        for (std::string files; std::getline(list, files, ',');) {
            sizes.push_back(measure(directory, std::stoi(files), runs));
            printSize(sizes.back());
        }
        printTargets(sizes);
        fs::remove_all(directory);
        return 0;
    } catch (const std::exception &error) {
        std::cerr << "pallimor_bench: " << error.what() << '\n';
        return 1;
    }
}
