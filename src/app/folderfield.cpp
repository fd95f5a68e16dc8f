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
    : QObject(window), field(field), folders(new QCompleter(this)),
      model(new QFileSystemModel(folders)) {
    // Qt's own model lists folders on a thread of its own, so that a slow share does not stall
    // typing.
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    // A Windows shortcut to a folder is a file, and no folder to sort.
    model->setResolveSymlinks(false);
    // A folder it has read would otherwise be read again at every move of a run that sorts it.
    model->setOption(QFileSystemModel::DontWatchForChanges);
    model->setRootPath(QString());
    folders->setModel(model);
    field->setCompleter(folders);
    connect(field, &QLineEdit::textEdited, this, &FolderField::readTowardsTypedFolder);
    connect(model, &QFileSystemModel::directoryLoaded, this, &FolderField::readTowardsTypedFolder);
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

// Qt's completer has the folder the text ends in read only once every folder above it has been,
// so a path pasted or typed fast would be offered nothing: this has the first folder of the text
// not yet read read, on the model's thread, and the next once that one is. Nothing is looked up
// on this thread but what the model already holds.
void FolderField::readTowardsTypedFolder() {
    const QStringList parts = folders->splitPath(field->text());
    QModelIndex folder;
    for (qsizetype part = 0; part + 1 < parts.size() && !model->canFetchMore(folder); ++part)
        if (folder = childNamed(folder, parts[part]); !folder.isValid())
            return;
    model->fetchMore(folder);
}

QModelIndex FolderField::childNamed(const QModelIndex &folder, const QString &name) const {
    for (int row = 0; row < model->rowCount(folder); ++row)
        if (const QModelIndex child = model->index(row, 0, folder);
            child.data(QFileSystemModel::FileNameRole)
                .toString()
                .compare(name, folders->caseSensitivity()) == 0)
            return child;
    return {};
}

void FolderField::answerDrag(QDropEvent *drag) {
    const Qt::DropAction action = pathTaking(drag->possibleActions());
    if (draggedFolder.isEmpty() || !field->isEnabled() || action == Qt::IgnoreAction)
        return drag->ignore();
    drag->setDropAction(action);
    drag->accept();
}
