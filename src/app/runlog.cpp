#include "runlog.h"

#include "sortrun.h"

#include <QTextCursor>
#include <QTextDocument>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Hands the run's text from its thread to the document's in chunks of many lines, so that the
// two threads meet rarely.
class LinePipe {
public:
    void append(std::string_view line) {
        if (!isFirstLine)
            chunk += '\n';
        isFirstLine = false;
        chunk += line;
        if (chunk.size() >= chunkSize)
            flush();
    }

    void close() {
        flush();
        const std::lock_guard lock(mutex);
        closed = true;
        ready.notify_one();
    }

    // Waits for text; false once the run has ended and every chunk was taken.
    bool take(std::vector<std::string> &chunks) {
        std::unique_lock lock(mutex);
        ready.wait(lock, [this] { return closed || !pending.empty(); });
        chunks.swap(pending);
        pending.clear();
        return !chunks.empty();
    }

private:
    static constexpr std::size_t chunkSize = 256 * 1024;

    void flush() {
        if (chunk.empty())
            return;
        const std::lock_guard lock(mutex);
        pending.push_back(std::move(chunk));
        chunk.clear();
        ready.notify_one();
    }

    std::string chunk;
    bool isFirstLine = true;
    std::mutex mutex;
    std::condition_variable ready;
    std::vector<std::string> pending;
    bool closed = false;
};

void runInto(LinePipe &pipe, const std::string &sourceDir,
             std::chrono::steady_clock::time_point start) {
    const pallimor::LogSink appendLine = [&pipe](std::string_view line) { pipe.append(line); };
    try {
        pallimor::sortDirectory(sourceDir, start, appendLine);
    } catch (const std::exception &error) {
        appendLine(std::string("Error: ") + error.what());
    }
    pipe.close();
}

} // namespace

QTextDocument *sortIntoDocument(const std::string &sourceDir,
                                std::chrono::steady_clock::time_point start, QObject *parent) {
    LinePipe pipe;
    std::thread run;
    try {
        run = std::thread(runInto, std::ref(pipe), std::cref(sourceDir), start);
    } catch (const std::system_error &) {
        runInto(pipe, sourceDir, start);
    }
    auto *document = new QTextDocument(parent);
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    // Inserted as text, never parsed as markup: a file may be named "<b>bold.txt".
    for (std::vector<std::string> chunks; pipe.take(chunks);) {
        for (const std::string &chunk : chunks)
            cursor.insertText(QString::fromUtf8(chunk));
    }
    if (run.joinable())
        run.join();
    return document;
}
