#include "runlog.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
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
// The taskbar and the docks are told a few times a second at most.
constexpr int progressMilliseconds = 250;
// Each block of a document costs more than a hundred bytes beside its text, so lines share
// blocks, joined by line separators, which show and copy as line breaks.
constexpr int linesPerBlock = 32;
// A slice of a copy being built: well under a turn that a user would notice.
constexpr std::chrono::milliseconds copySlice{20};

bool isSeparator(QChar c) {
    return c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

// Offers a selection's text without building it: another program may never ask for it, and the
// X11 selection is offered anew at every Ctrl+A and every selection by mouse. Once asked, the
// text is kept, since a program may ask again; once the pane is cleared, it offers nothing.
class LogSelection : public QMimeData {
public:
    LogSelection(const LogPane *pane, int from, int to)
        : pane(pane), clearing(pane->clearings()), from(from), to(to) {}

    bool isOf(const LogPane *log) const { return pane == log; }
    QStringList formats() const override {
        return isCurrent() ? QStringList{plainText} : QStringList();
    }
    bool hasFormat(const QString &format) const override {
        return format == plainText && isCurrent();
    }

protected:
    QVariant retrieveData(const QString &format, QMetaType) const override {
        if (!hasFormat(format))
            return {};
        if (built.isNull())
            built = pane->textBetween(from, to);
        return built;
    }

private:
    bool isCurrent() const { return pane && pane->clearings() == clearing; }

    static inline const QString plainText = QStringLiteral("text/plain");
    QPointer<const LogPane> pane;
    int clearing, from, to;
    mutable QString built;
};

} // namespace

QMimeData *LogPane::createMimeDataFromSelection() const {
    return new LogSelection(this, textCursor().selectionStart(), textCursor().selectionEnd());
}

QString LogPane::textBetween(int from, int to) const {
    QTextCursor range(document());
    range.setPosition(from);
    range.setPosition(to, QTextCursor::KeepAnchor);
    QString text = range.selectedText();
    std::ranges::replace_if(text, isSeparator, QChar(u'\n'));
    return text;
}

LogPane::LogPane(QWidget *parent) : QPlainTextEdit(parent) {
    connect(&copying, &QTimer::timeout, this, [this] { copyNextSlice(QDeadlineTimer(copySlice)); });
}

LogPane::~LogPane() {
    keepOfferedCopy();
}

void LogPane::clearLog() {
    finishCopy();
    keepOfferedCopy();
    ++timesCleared;
    clear();
}

// Qt's own copy puts the pane's offer on the clipboard, where it must outlive the pane's text.
void LogPane::keepOfferedCopy() {
    QClipboard *clipboard = QGuiApplication::clipboard();
    const auto *offer = dynamic_cast<const LogSelection *>(clipboard->mimeData());
    if (!offer || !offer->isOf(this))
        return;
    auto *copy = new QMimeData;
    copy->setText(offer->text());
    clipboard->setMimeData(copy);
}

void LogPane::keyPressEvent(QKeyEvent *event) {
    if (event != QKeySequence::Copy || !textCursor().hasSelection())
        return QPlainTextEdit::keyPressEvent(event);
    copySelection();
}

// The menu's Copy builds its copy as Ctrl+C does.
void LogPane::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = createStandardContextMenu();
    if (auto *copy = menu->findChild<QAction *>(QStringLiteral("edit-copy"))) {
        disconnect(copy, &QAction::triggered, nullptr, nullptr);
        connect(copy, &QAction::triggered, this, &LogPane::copySelection);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void LogPane::copySelection() {
    finishCopy();
    copiedUpTo = textCursor().selectionStart();
    copyEnd = textCursor().selectionEnd();
    copied.reserve(copyEnd - copiedUpTo);
    copying.start();
    copyNextSlice(QDeadlineTimer(copySlice));
}

void LogPane::finishCopy() {
    if (copying.isActive())
        copyNextSlice(QDeadlineTimer(QDeadlineTimer::Forever));
}

// Block by block, each block's line separators made line breaks while it is at hand.
void LogPane::copyNextSlice(QDeadlineTimer deadline) {
    for (QTextBlock block = document()->findBlock(copiedUpTo);
         copiedUpTo < copyEnd && !deadline.hasExpired(); block = block.next()) {
        QString text = block.text();
        std::ranges::replace_if(text, isSeparator, QChar(u'\n'));
        const int from = copiedUpTo - block.position();
        const int length = std::min<int>(int(text.size()) - from, copyEnd - copiedUpTo);
        copied += QStringView(text).sliced(from, length).toUtf8();
        copiedUpTo += length;
        if (copiedUpTo < copyEnd) {
            copied += '\n';
            ++copiedUpTo;
        }
    }
    if (copiedUpTo < copyEnd)
        return;
    copying.stop();
    auto *data = new QMimeData;
    data->setData(QStringLiteral("text/plain"), std::exchange(copied, {}));
    QGuiApplication::clipboard()->setMimeData(data);
}

RunLog::RunLog(LogPane *pane) : QObject(pane), pane(pane) {
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
    pane->clearLog();
    followsEnd = true;
    linesInLastBlock = 0;
    running = true;
    isOver = false;
    examined = listed = 0;
    progressShown.invalidate();
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
    showProgress();
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
    followEnd();
}

// The scroll range counts a line for each block not yet laid out, and the pane works it out again
// only when it learns that the document's size changed, which laying out a block does not tell
// it. Told now, the pane lays out the blocks back from the end until they fill the view, so that
// the range's maximum shows the end exactly. The pane follows while its cursor stays at the end,
// where the new lines push it: a user who moved it away, by key or click, has left the end too.
void RunLog::followEnd() {
    if (!followsEnd || !pane->textCursor().atEnd())
        return;
    QAbstractTextDocumentLayout *layout = pane->document()->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
    pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
}

// A line break that ends a block after every so many lines, and one within it otherwise.
QChar RunLog::separatorAfterLine() {
    return ++linesInLastBlock % linesPerBlock ? QChar::LineSeparator : QChar(u'\n');
}

void RunLog::showProgress() {
    const std::size_t entries = listed, done = examined;
    if (entries == 0 || (progressShown.isValid() &&
                         !progressShown.hasExpired(progressMilliseconds) && done < entries))
        return;
    progressShown.start();
    emit progressed(done, entries);
}

void RunLog::finish() {
    poll.stop();
    if (run.joinable())
        run.join();
    running = false;
    emit finished();
}
