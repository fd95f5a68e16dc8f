#include "painting.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace {

constexpr int patienceMs = 60000;

} // namespace

PaintCounter::PaintCounter(QWidget *widget) {
    widget->installEventFilter(this);
}

bool PaintCounter::waitForPaint() {
    const QDeadlineTimer deadline(patienceMs);
    while (paints == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return paints > 0;
}

bool PaintCounter::eventFilter(QObject *, QEvent *event) {
    if (event->type() == QEvent::Paint)
        ++paints;
    return false;
}

bool waitUntilExposed(QWidget &window) {
    const QDeadlineTimer deadline(patienceMs);
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return !deadline.hasExpired();
}
