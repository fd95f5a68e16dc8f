#include "runlog.h"

#include <QAbstractTextDocumentLayout>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <exception>
#include <system_error>

namespace {

// Often enough to look alive, four times a second at the least.
constexpr int pollMilliseconds = 50;
// Each block of a document costs more than a hundred bytes beside its text, so lines share
// blocks, joined by line separators, which show and copy as line breaks.
constexpr int linesPerBlock = 32;

bool isSeparator(QChar c) {
    return c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

} // namespace

QMimeData *LogPane::createMimeDataFromSelection() const {
    QString text = textCursor().selectedText();
    std::ranges::replace_if(text, isSeparator, QChar(u'\n'));
    auto *data = new QMimeData;
    data->setText(text);
    return data;
}

RunLog::RunLog(QPlainTextEdit *pane) : QObject(pane), pane(pane) {
    pane->document()->setUndoRedoEnabled(false);
    poll.setInterval(pollMilliseconds);
    connect(&poll, &QTimer::timeout, this, &RunLog::takeLines);
    // Only the user's own scrolling decides: the pane moves its scroll bar by itself while it
    // lays out the lines it shows.
    QScrollBar *bar = pane->verticalScrollBar();
    connect(bar, &QScrollBar::actionTriggered, this,
            [this, bar] { followsEnd = bar->sliderPosition() == bar->maximum(); });
    // The pane also moves it as it lays lines out anew, a view that grows or shrinks wrapping
    // them otherwise; a pane that follows goes back to the end before it is painted.
    connect(bar, &QScrollBar::rangeChanged, this, &RunLog::followEnd);
    connect(pane, &QPlainTextEdit::updateRequest, this, &RunLog::followEnd);
}

void RunLog::start(const std::string &sourceDir, std::chrono::steady_clock::time_point start) {
    pane->clear();
    followsEnd = true;
    linesInLastBlock = 0;
    running = true;
    isOver = false;
    pallimor::RunSettings settings{pallimor::FileCategory, {}, beforeEachMove};
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
    return running;
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
    if (!running)
        return;
    if (!text.empty())
        append(std::string_view(text).substr(0, text.size() - 1));
    if (over)
        finish();
}

// As text, never parsed as markup: a file may be named "<b>bold.txt".
void RunLog::append(std::string_view lines) {
    QTextCursor end(pane->document());
    end.movePosition(QTextCursor::End);
    const QString separator = pane->document()->isEmpty() ? QString() : separatorAfterLine();
    QString text = QString::fromUtf8(lines);
    for (QChar &c : text)
        c = c == u'\n' ? separatorAfterLine() : c;
    end.insertText(separator + text);
    // Laid out now, so that the scroll range holds the new lines before the pane is painted.
    pane->document()->documentLayout()->blockBoundingRect(pane->document()->lastBlock());
    followEnd();
}

void RunLog::followEnd() {
    if (followsEnd)
        pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
}

// A line break that ends a block after every so many lines, and one within it otherwise.
QChar RunLog::separatorAfterLine() {
    return ++linesInLastBlock % linesPerBlock ? QChar::LineSeparator : QChar(u'\n');
}

void RunLog::finish() {
    poll.stop();
    if (run.joinable())
        run.join();
    running = false;
    emit finished();
}
