#include "folderfield.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QDropEvent>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QValidator>

#include <algorithm>

namespace {

// The one local folder a drag holds, as the platform writes it; empty for anything else.
QString folderIn(const QMimeData *data) {
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return {};
    const QString path = urls.front().toLocalFile();
    return QFileInfo(path).isDir() ? QDir::toNativeSeparators(path) : QString();
}

// Only the path is taken: a drag that ended as a move could make its file manager remove the
// folder, as though it had been moved here.
Qt::DropAction pathTaking(Qt::DropActions offered) {
    for (const Qt::DropAction action : {Qt::LinkAction, Qt::CopyAction})
        if (offered & action)
            return action;
    return Qt::IgnoreAction;
}

#ifdef Q_OS_WIN
// Explorer's "Copy as path" wraps the path in double quotes, which no Windows name can hold.
class WithoutExplorerQuotes : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString &text, int &position) const override {
        if (text.size() > 2 && text.startsWith('"') && text.endsWith('"') && text.count('"') == 2) {
            text = text.mid(1, text.size() - 2);
            position = std::clamp(position - 1, 0, int(text.size()));
        }
        return Acceptable;
    }
};
#endif

} // namespace

FolderField::FolderField(QLineEdit *field, QWidget *window)
    : QObject(window), field(field), folders(new QCompleter(this)) {
    // Qt's own model lists folders on a thread of its own, so that a slow share does not stall
    // typing.
    auto *model = new QFileSystemModel(folders);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    // A Windows shortcut to a folder is a file, and no folder to sort.
    model->setResolveSymlinks(false);
    model->setRootPath(QString());
    folders->setModel(model);
    field->setCompleter(folders);
#ifdef Q_OS_WIN
    field->setValidator(new WithoutExplorerQuotes(this));
#endif
    // Drags over the field are answered as those over the rest of the window: the field's own
    // would insert the dragged text where it lands.
    window->setAcceptDrops(true);
    window->installEventFilter(this);
    field->installEventFilter(this);
    // Before the completer's own: Enter taken in the list must not reach the field as well.
    folders->popup()->installEventFilter(this);
}

bool FolderField::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (watched != folders->popup() ||
            !QList{Qt::Key_Return, Qt::Key_Enter}.contains(static_cast<QKeyEvent *>(event)->key()))
            return false;
        takeChosenFolder();
        return true;
    case QEvent::EnabledChange:
        if (watched == field)
            field->setCompleter(field->isEnabled() ? folders : nullptr);
        return false;
    case QEvent::DragEnter:
        draggedFolder = folderIn(static_cast<QDropEvent *>(event)->mimeData());
        [[fallthrough]];
    case QEvent::DragMove:
        answerDrag(static_cast<QDropEvent *>(event));
        return true;
    case QEvent::Drop:
        answerDrag(static_cast<QDropEvent *>(event));
        if (event->isAccepted()) {
            field->setText(draggedFolder);
            field->setFocus();
        }
        return true;
    default:
        return false;
    }
}

// Enter in the list only fills the field, with the folder chosen if there is one: Qt's
// completer would pass the Enter on to the field, where it presses Start.
void FolderField::takeChosenFolder() {
    const int chosen = folders->popup()->currentIndex().row();
    folders->popup()->hide();
    if (folders->setCurrentRow(chosen))
        field->setText(folders->currentCompletion());
}

void FolderField::answerDrag(QDropEvent *drag) {
    const Qt::DropAction action = pathTaking(drag->possibleActions());
    if (draggedFolder.isEmpty() || !field->isEnabled() || action == Qt::IgnoreAction)
        return drag->ignore();
    drag->setDropAction(action);
    drag->accept();
}
