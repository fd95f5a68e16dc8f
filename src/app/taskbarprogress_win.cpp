#include "taskbarprogress.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QWidget>

#include <optional>
#include <utility>

#include <windows.h>

#include <shobjidl.h>

// Shows the progress on the window's taskbar button, as Explorer's copy does.
struct TaskbarProgress::Native : QAbstractNativeEventFilter {
    explicit Native(QWidget *window) : window(window) {
        // Run as administrator, the program would be kept from Explorer's message otherwise.
        ChangeWindowMessageFilter(buttonCreated, MSGFLT_ADD);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~Native() override {
        QCoreApplication::instance()->removeNativeEventFilter(this);
        if (taskbar)
            taskbar->Release();
    }

    // The taskbar takes calls for a button only once it has made it, and makes it anew when
    // Explorer restarts.
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override {
        const auto *msg = static_cast<const MSG *>(message);
        if (eventType == "windows_generic_MSG" && msg->message == buttonCreated &&
            msg->hwnd == button()) {
            reachTaskbar();
            apply();
        }
        return false;
    }

    HWND button() const { return reinterpret_cast<HWND>(window->internalWinId()); }

    void reachTaskbar() {
        if (taskbar)
            return;
        ITaskbarList3 *list = nullptr;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_ITaskbarList3, reinterpret_cast<void **>(&list))))
            return;
        if (SUCCEEDED(list->HrInit()))
            taskbar = list;
        else
            list->Release();
    }

    void apply() {
        if (!taskbar)
            return;
        if (!progress) {
            taskbar->SetProgressState(button(), TBPF_NOPROGRESS);
            return;
        }
        taskbar->SetProgressState(button(), TBPF_NORMAL);
        taskbar->SetProgressValue(button(), progress->first, progress->second);
    }

    QWidget *window;
    const UINT buttonCreated = RegisterWindowMessageW(L"TaskbarButtonCreated");
    ITaskbarList3 *taskbar = nullptr; // none until the button exists, or where no taskbar is
    std::optional<std::pair<ULONGLONG, ULONGLONG>> progress; // examined of listed
};

TaskbarProgress::TaskbarProgress(QWidget *window)
    : QObject(window), native(std::make_unique<Native>(window)) {}

TaskbarProgress::~TaskbarProgress() = default;

void TaskbarProgress::show(std::size_t examined, std::size_t listed) {
    const std::pair<ULONGLONG, ULONGLONG> progress(examined, listed);
    if (native->progress == progress)
        return;
    native->progress = progress;
    native->apply();
}

void TaskbarProgress::hide() {
    if (!native->progress)
        return;
    native->progress.reset();
    native->apply();
}

// Windows flashes the taskbar button.
void TaskbarProgress::askForAttention() {
    QApplication::alert(native->window);
}
