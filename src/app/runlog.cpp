#include "runlog.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>

#include <algorithm>
#include <exception>
#include <system_error>

namespace {

// Often enough to look alive, four times a second at the least.
constexpr int pollMilliseconds = 50;
// More new lines than the pane can lay out in a fraction of a turn of the event loop.
constexpr long maxLinesPerTurn = 1000;
// What the pane shows of a run whose lines come faster than that.
constexpr int tailLines = 200;

QTextDocument *documentFor(QTextEdit *pane) {
    auto *document = new QTextDocument(pane);
    document->setUndoRedoEnabled(false);
    document->setDefaultFont(pane->document()->defaultFont());
    document->setDocumentMargin(pane->document()->documentMargin());
    return document;
}

// As text, never parsed as markup: a file may be named "<b>bold.txt".
void append(QTextDocument *document, const QString &lines) {
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    end.insertText(document->isEmpty() ? lines : '\n' + lines);
}

} // namespace

RunLog::RunLog(QTextEdit *pane) : QObject(pane), pane(pane) {
    poll.setInterval(pollMilliseconds);
    connect(&poll, &QTimer::timeout, this, &RunLog::takeLines);
    QScrollBar *bar = pane->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { followsEnd = value == bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (followsEnd)
            bar->setValue(maximum);
    });
}

void RunLog::start(const std::string &sourceDir, std::chrono::steady_clock::time_point start) {
    // The pane deletes the document it made itself when it gets another; a run's, it leaves.
    QTextDocument *previous = pane->document();
    const bool previousIsARunsLog = previous->parent() == pane;
    log = documentFor(pane);
    shown = documentFor(pane);
    followsEnd = true;
    showsTail = false;
    pane->setDocument(shown);
    if (previousIsARunsLog)
        delete previous;
    isOver = false;
    examined = listed = 0;
    pallimor::RunSettings settings{
        pallimor::FileCategory, {}, beforeEachMove, [this](std::size_t entries, std::size_t of) {
            listed = of;
            examined = entries;
        }};
    try {
        run = std::jthread([this, sourceDir, start, settings](std::stop_token stop) mutable {
            settings.stop = std::move(stop);
            sortOnThisThread(sourceDir, start, settings);
        });
    } catch (const std::system_error &) {
        sortOnThisThread(sourceDir, start, settings);
    }
    poll.start();
}

void RunLog::stop() {
    run.request_stop();
}

bool RunLog::isRunning() const {
    return log != nullptr;
}

void RunLog::sortOnThisThread(const std::string &sourceDir,
                              std::chrono::steady_clock::time_point start,
                              const pallimor::RunSettings &settings) {
    const pallimor::LogSink toPane = [this](std::string_view line) {
        const std::lock_guard lock(mutex);
        pending.append(line).push_back('\n');
    };
    try {
        pallimor::sortDirectory(sourceDir, start, toPane, settings);
    } catch (const std::exception &error) {
        toPane(std::string("Error: ") + error.what());
    }
    {
        const std::lock_guard lock(mutex);
        isOver = true;
    }
    // At once rather than at the next poll, so that the last lines are painted as the run ends.
    QMetaObject::invokeMethod(this, &RunLog::takeLines, Qt::QueuedConnection);
}

void RunLog::takeLines() {
    std::string text;
    bool over = false;
    {
        const std::lock_guard lock(mutex);
        text.swap(pending);
        over = isOver;
    }
    if (!log)
        return;
    if (const std::size_t entries = listed; entries > 0)
        emit progressed(examined, entries);
    if (!text.empty()) {
        text.pop_back();
        const QString lines = QString::fromUtf8(text);
        append(log, lines);
        showsTail = showsTail || std::ranges::count(text, '\n') >= maxLinesPerTurn;
        if (!showsTail)
            append(shown, lines);
        else if (!over) // the whole log takes the tail's place at once
            showTail();
    }
    if (over)
        finish();
}

// A user who has scrolled up to read keeps what they read.
void RunLog::showTail() {
    if (!followsEnd)
        return;
    QTextCursor tail(log);
    tail.movePosition(QTextCursor::End);
    tail.movePosition(QTextCursor::PreviousBlock, QTextCursor::KeepAnchor, tailLines - 1);
    tail.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    shown->setPlainText(tail.selection().toPlainText());
}

void RunLog::finish() {
    poll.stop();
    if (run.joinable())
        run.join();
    if (showsTail) {
        // Laid out from the top while the pane follows it to its end.
        pane->setDocument(log);
        delete shown;
    } else {
        delete log;
    }
    log = nullptr;
    emit finished();
}
