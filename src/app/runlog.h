#pragma once

#include "sortrun.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

QT_BEGIN_NAMESPACE
class QTextDocument;
class QTextEdit;
QT_END_NAMESPACE

// Sorts a directory on a thread of its own while the pane shows the run's log as it grows, so
// that the window answers all through a run. The pane follows the newest line unless the user
// has scrolled up to read; once the run is over it holds every line.
class RunLog : public QObject {
    Q_OBJECT

public:
    explicit RunLog(QTextEdit *pane);

    // The category switches are copied now: the boxes may change while the run goes.
    void start(const std::string &sourceDir, std::chrono::steady_clock::time_point start);
    // Asks the run to stop after the file in hand; `finished` follows.
    void stop();
    bool isRunning() const;

    // Called before each move on the run's thread, as the engine's hook of that name.
    pallimor::FileHook beforeEachMove;

signals:
    // The run is over and the pane holds its whole log.
    void finished();
    // At the pane's pace, from the end of the listing: `examined` of the `listed` entries.
    void progressed(std::size_t examined, std::size_t listed);

private:
    void sortOnThisThread(const std::string &sourceDir, std::chrono::steady_clock::time_point start,
                          const pallimor::RunSettings &settings);
    void takeLines();
    void showTail();
    void finish();

    QTextEdit *pane;
    QTextDocument *log = nullptr;   // every line, laid out only once the pane shows it
    QTextDocument *shown = nullptr; // what the pane shows while the run goes
    // Set once lines come faster than the pane can lay them out: the pane then shows only the
    // newest ones until the run is over.
    bool showsTail = false;
    bool followsEnd = true;
    QTimer poll;

    std::mutex mutex;    // guards the two below, which the run's thread writes
    std::string pending; // lines logged and not yet taken, each ended by '\n'
    bool isOver = false; // the run has logged its last line
    std::atomic<std::size_t> examined = 0, listed = 0; // the run's thread writes these too
    // Last, so that going it stops the run after the file in hand before the rest goes.
    std::jthread run;
};
