#pragma once

#include <QObject>
#include <QString>

QT_BEGIN_NAMESPACE
class QCompleter;
class QDropEvent;
class QFileSystemModel;
class QLineEdit;
class QModelIndex;
QT_END_NAMESPACE

// The ways a folder reaches the directory field besides typing it out: dropped from a file
// manager anywhere on the window, pasted in the double quotes of Explorer's "Copy as path", or
// chosen among the folders that the typed text can go on to. None of them starts a run, and
// while the field is disabled (a run goes) it takes neither drops nor completions.
class FolderField : public QObject {
    Q_OBJECT

public:
    // `window` takes the drops, wherever on it they land.
    FolderField(QLineEdit *field, QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void answerDrag(QDropEvent *drag);
    void takeChosenFolder();
    void readTowardsTypedFolder();
    QModelIndex childNamed(const QModelIndex &folder, const QString &name) const;

    QLineEdit *field;
    QCompleter *folders;
    QFileSystemModel *model;
    QString draggedFolder; // the folder of the drag under way, empty when it holds anything else
};
