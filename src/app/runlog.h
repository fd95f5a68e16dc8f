#pragma once

#include "sortrun.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QPlainTextEdit>
#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

QT_BEGIN_NAMESPACE
class QMimeData;
QT_END_NAMESPACE

// The log pane. Plain text, laid out only where it is shown, so that a log of any size costs
// what the pane shows; a copy is plain text alone, since a rich copy of a long log takes seconds.
// A copy to the clipboard, by key or menu, is built a slice at a time between other events, so
// that copying a million lines never holds the window; what a selection offers by itself (the
// X11 selection, a drag) is built only when another program asks for it.
class LogPane : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit LogPane(QWidget *parent = nullptr);
    ~LogPane() override;

    // Takes the whole log away, after a copy made of it is whole on the clipboard.
    void clearLog();
    // The text between two positions, each line ended by a line break but the last.
    QString textBetween(int from, int to) const;
    // What the pane offered before its last clearing has no text left.
    int clearings() const { return timesCleared; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    void copySelection();
    void finishCopy();
    void copyNextSlice(QDeadlineTimer deadline);
    void keepOfferedCopy();

    QTimer copying;
    QByteArray copied; // as UTF-8, in which most names take half the memory of the pane's text
    int copiedUpTo = 0, copyEnd = 0;
    int timesCleared = 0;
};

// Sorts a directory on a thread of its own while the pane shows the run's log as it grows, so
// that the window answers all through a run. The pane follows the newest line unless the user
// has scrolled up to read; once the run is over it holds every line.
class RunLog : public QObject {
    Q_OBJECT

public:
    explicit RunLog(LogPane *pane);

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
    // A few times a second at most, from the end of the listing, and once all are examined:
    // `examined` of the `listed` entries.
    void progressed(std::size_t examined, std::size_t listed);

private:
    void sortOnThisThread(const std::string &sourceDir, std::chrono::steady_clock::time_point start,
                          const pallimor::RunSettings &settings);
    void takeLines();
    void append(std::string_view lines);
    QChar separatorAfterLine();
    void followEnd();
    void showProgress();
    void finish();

    LogPane *pane;
    bool running = false;
    bool followsEnd = true; // unless the user scrolled away from the end
    int linesInLastBlock = 0;
    QTimer poll;

    std::mutex mutex;    // guards the two below, which the run's thread writes
    std::string pending; // lines logged and not yet taken, each ended by '\n'
    bool isOver = false; // the run has logged its last line
    std::atomic<std::size_t> examined = 0, listed = 0; // the run's thread writes these too
    QElapsedTimer progressShown;
    // Last, so that going it stops the run after the file in hand before the rest goes.
    std::jthread run;
};
