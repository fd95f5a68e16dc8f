#include "variants.h"

#include "mainwindow.h"
#include "painting.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

fs::path resultFile(const fs::path &scratch) {
    return fs::path(scratch.native() + ".result");
}

fs::path logFile(const fs::path &scratch) {
    return fs::path(scratch.native() + ".log");
}

// Says yes to every question as soon as it is shown, as a user who has decided would.
class DialogAnswerer : public QObject {
public:
    Clock::time_point confirmedAt = Clock::now();
    QString unexpected;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (box && event->type() == QEvent::Show)
            QMetaObject::invokeMethod(
                box, [this, box] { answer(box); }, Qt::QueuedConnection);
        return false;
    }

private:
    void answer(QMessageBox *box) {
        if (box->windowTitle() == "Confirmation")
            confirmedAt = Clock::now();
        else
            unexpected = box->windowTitle() + ": " + box->text();
        if (QAbstractButton *yes = box->button(QMessageBox::Yes))
            yes->click();
        else
            box->accept();
    }
};

// The seconds the engine reports in its summary line, counted from the confirmation.
double summarySeconds(const QString &log) {
    const QString summary = log.section('\n', -1);
    return summary.section(' ', 3, 3).toDouble();
}

std::string windowFault(MainWindow &window, QTextEdit *outputTextEdit) {
    if (!waitUntilExposed(window))
        return "the window was never shown";
    if (!outputTextEdit)
        return "the window has no outputTextEdit";
    return {};
}

// The high-water mark of this process's own memory. getrusage would not do: its figure survives
// exec and so may be the benchmark's own, from before this process started.
long peakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

struct WindowReport {
    double seconds = 0;
    double paneAfterEngine = 0;
    long peakKiB = 0;
    long laidOutPeakKiB = 0;
    int paragraphs = 0;
    std::string fault;
};

void writeReport(const fs::path &scratch, const WindowReport &report) {
    std::ofstream(resultFile(scratch))
        << report.seconds << ' ' << report.paneAfterEngine << ' ' << report.peakKiB << ' '
        << report.laidOutPeakKiB << ' ' << report.paragraphs << ' ' << report.fault;
}

WindowReport readReport(const fs::path &scratch) {
    WindowReport report;
    std::ifstream file(resultFile(scratch));
    file >> report.seconds >> report.paneAfterEngine >> report.peakKiB >> report.laidOutPeakKiB >>
        report.paragraphs >> std::ws;
    std::getline(file, report.fault);
    if (!file && report.fault.empty() && report.paragraphs == 0)
        report.fault = "the window process left no report";
    return report;
}

std::string readAll(const fs::path &path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string spawnAndWait(const std::vector<std::string> &arguments) {
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return "cannot start " + arguments[0];
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the window process failed";
    return {};
}

} // namespace

Measurement runWindow(const Workload &workload, const fs::path &executable,
                      const fs::path &scratch) {
    Measurement result;
    result.fault = spawnAndWait(
        {executable.native(), "--window-run", workload.directoryText(), scratch.native()});
    if (!result.fault.empty())
        return result;
    const WindowReport report = readReport(scratch);
    result.seconds = report.seconds;
    result.paneAfterEngine = report.paneAfterEngine;
    result.peakKiB = report.peakKiB;
    result.laidOutPeakKiB = report.laidOutPeakKiB;
    result.fault = report.fault;
    if (result.fault.empty() && report.paragraphs != workload.fileCount() + 2)
        result.fault = "the pane holds " + std::to_string(report.paragraphs) + " paragraphs";
    if (result.fault.empty())
        result.fault = workload.checkTree();
    if (result.fault.empty())
        result.fault = workload.checkLog(readAll(logFile(scratch)));
    return result;
}

int windowRunMain(int argc, char **argv, const std::string &directory, const fs::path &scratch) {
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    auto *outputTextEdit = window.findChild<QTextEdit *>("outputTextEdit");
    WindowReport report;
    report.fault = windowFault(window, outputTextEdit);
    if (!report.fault.empty()) {
        writeReport(scratch, report);
        return 0;
    }
    // Unticking All sorts every category, so that every file moves.
    window.findChild<QCheckBox *>("All")->setChecked(false);
    window.findChild<QLineEdit *>("directoryLineEdit")->setText(QString::fromStdString(directory));
    PaintCounter paints(outputTextEdit->viewport());
    DialogAnswerer answerer;
    app.installEventFilter(&answerer);

    const auto clicked = Clock::now();
    window.findChild<QPushButton *>("sortButton")->click();
    paints.reset();
    const bool painted = paints.waitForPaint();
    const auto shown = Clock::now();
    report.peakKiB = peakKiB();
    // The pane lays out the lines below the visible ones while the user looks: that memory
    // belongs to the run too.
    outputTextEdit->document()->size();
    report.laidOutPeakKiB = peakKiB();

    const QString log = outputTextEdit->toPlainText();
    const double engineEnd =
        std::chrono::duration<double>(answerer.confirmedAt - clicked).count() + summarySeconds(log);
    report.seconds = std::chrono::duration<double>(shown - clicked).count();
    report.paneAfterEngine = report.seconds - engineEnd;
    report.paragraphs = outputTextEdit->document()->blockCount();
    report.fault = painted ? answerer.unexpected.toStdString() : "the pane was never painted";
    writeReport(scratch, report);
    std::ofstream(logFile(scratch), std::ios::binary) << log.toStdString();
    return 0;
}
