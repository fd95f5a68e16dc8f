#pragma once

#include <QObject>

class QWidget;

// Counts the paint events a widget receives, to tell when what it holds has been shown.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget *widget);

    void reset() { paints = 0; }
    // Runs the event loop until the next paint; false when none came within a minute.
    bool waitForPaint();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int paints = 0;
};

// Runs the event loop until the window can be painted; false when it never could.
bool waitUntilExposed(QWidget &window);
