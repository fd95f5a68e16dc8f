#pragma once

#include <QObject>

#include <cstddef>
#include <memory>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

// Shows a run's progress where the desktop shows a program's: its taskbar button on Windows, its
// launcher entry on Linux desktops. Where the desktop has no such place, it does nothing.
class TaskbarProgress : public QObject {
    Q_OBJECT

public:
    explicit TaskbarProgress(QWidget *window);
    ~TaskbarProgress() override;

    // `listed` is more than 0.
    void show(std::size_t examined, std::size_t listed);
    void hide();
    // For a run that ended while the user looked elsewhere.
    void askForAttention();

private:
    struct Native;
    std::unique_ptr<Native> native;
};
