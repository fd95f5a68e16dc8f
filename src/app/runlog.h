#pragma once

#include <QtGlobal>

#include <chrono>
#include <string>

QT_BEGIN_NAMESPACE
class QObject;
class QTextDocument;
QT_END_NAMESPACE

// Sorts `sourceDir` on a thread of its own while the calling thread turns the run's lines into
// a plain-text document, one paragraph per line, so that a long log costs little time after the
// last move. The calling thread waits for the run and processes no events meanwhile.
QTextDocument *sortIntoDocument(const std::string &sourceDir,
                                std::chrono::steady_clock::time_point start, QObject *parent);
