#include "taskbarprogress.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QEvent>
#include <QVariantMap>
#include <QWidget>

#include <utility>

namespace {

// Docks find the launcher by the desktop entry the program is installed with.
const QString launcherUri = QStringLiteral("application://" PALLIMOR_APP_ID ".desktop");
const QString connectionName = QStringLiteral("pallimor-launcher-entry");

} // namespace

// Sends the launcher entry's signal, which KDE Plasma's task manager and the GNOME docks read.
struct TaskbarProgress::Native : QObject {
    explicit Native(QWidget *window) : window(window) { window->installEventFilter(this); }

    // The attention asked for ends once the user is back in the window.
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::WindowActivate && std::exchange(urgent, false))
            update({{"urgent", false}});
        return false;
    }

    // Once a run, so that a bus that started late or went away is found without being waited for
    // at every update.
    void lookForBus() {
        if (QDBusConnection(connectionName).isConnected())
            return;
        QDBusConnection::disconnectFromBus(connectionName);
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    }

    void update(const QVariantMap &properties) {
        QDBusConnection bus(connectionName);
        if (!bus.isConnected())
            return;
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/io/github/pallimor/Pallimor/LauncherEntry"),
            QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
        signal << launcherUri << properties;
        bus.send(signal);
    }

    QWidget *window;
    double shown = -1; // the progress last sent; below 0 while none is shown
    bool urgent = false;
};

TaskbarProgress::TaskbarProgress(QWidget *window)
    : QObject(window), native(std::make_unique<Native>(window)) {}

TaskbarProgress::~TaskbarProgress() = default;

void TaskbarProgress::show(std::size_t examined, std::size_t listed) {
    const double progress = double(examined) / double(listed);
    if (progress == native->shown)
        return;
    if (native->shown < 0)
        native->lookForBus();
    native->shown = progress;
    native->update({{"progress", progress}, {"progress-visible", true}});
}

void TaskbarProgress::hide() {
    if (native->shown < 0)
        return;
    native->shown = -1;
    native->update({{"progress-visible", false}});
}

void TaskbarProgress::askForAttention() {
    QApplication::alert(native->window);
    native->urgent = true;
    native->update({{"urgent", true}});
}
