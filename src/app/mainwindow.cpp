#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "catalogue.h"
#include "folderfield.h"
#include "runlog.h"
#include "sortrun.h"
#include "taskbarprogress.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QShortcut>
#include <QUrl>

namespace {

const QString projectPage = QStringLiteral("https://github.com/pallimor/pallimor");

// A run this long has most likely sent the user to another window meanwhile.
constexpr std::chrono::seconds longRun{5};

// The window's dark background reaches the boxes it parents, so they need light text of their
// own, and buttons that the sheet draws whole, whatever the platform's style, so labels show.
const QString readableBoxSheet =
    QStringLiteral("* { color: white; }"
                   "QPushButton { background: #303438; border: 1px solid gray; border-radius: 5px;"
                   " padding: 4px 16px; min-width: 48px; }"
                   "QPushButton:focus { border-color: white; }");

// A held key repeats: Enter held in the directory field would open a question and answer it.
class AutoRepeatFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        return event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->isAutoRepeat();
    }
};

// As QMessageBox's own static functions build it, with the sheet before it shows and no key
// answered that was pressed before; the answer is NoButton when the box is closed without one.
QMessageBox::StandardButton showBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                    const QString &text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    box.setStyleSheet(readableBoxSheet);
    AutoRepeatFilter heldKeys(&box);
    box.installEventFilter(&heldKeys);
    for (QWidget *child : box.findChildren<QWidget *>())
        child->installEventFilter(&heldKeys);
    box.exec();
    return box.standardButton(box.clickedButton());
}

// The working directory in any spelling the platform takes for it: either separator, a trailing
// one, and on Windows any letter case.
bool namesWorkingDirectory(const QString &typed) {
#ifdef Q_OS_WIN
    constexpr Qt::CaseSensitivity letterCase = Qt::CaseInsensitive;
#else
    constexpr Qt::CaseSensitivity letterCase = Qt::CaseSensitive;
#endif
    return QDir::cleanPath(QDir::fromNativeSeparators(typed))
               .compare(QDir::currentPath(), letterCase) == 0;
}

// What decides what a run does; none of it changes while one goes.
QList<QWidget *> settingsOf(Ui::MainWindow *ui) {
    QList<QWidget *> settings = {ui->directoryLineEdit, ui->sortButton};
    for (QCheckBox *box : ui->frame_3->findChildren<QCheckBox *>())
        settings << box;
    return settings;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), outputTextEdit(nullptr),
      directoryLineEdit(nullptr), runLog(nullptr), taskbar(nullptr), stopKey(nullptr) {
    ui->setupUi(this);
    outputTextEdit = ui->outputTextEdit;
    directoryLineEdit = ui->directoryLineEdit;
    runLog = new RunLog(ui->outputTextEdit);
    connect(runLog, &RunLog::finished, this, [this] { endRun(); });
    taskbar = new TaskbarProgress(this);
    connect(runLog, &RunLog::progressed, taskbar, &TaskbarProgress::show);
    stopKey = new QShortcut(Qt::Key_Escape, this);
    stopKey->setEnabled(false);
    connect(stopKey, &QShortcut::activated, runLog, &RunLog::stop);
    directoryLineEdit->setPlaceholderText("Enter the directory you want to sort");

    for (QCheckBox *box : {ui->Documents, ui->Audios, ui->Images, ui->Videos, ui->Codes,
                           ui->SystemFiles, ui->PlainFiles, ui->Executables, ui->Shortcuts})
        box->setChecked(false);
    // Ticking All runs the by-name slot, which ticks every category and so sets every switch.
    ui->All->setChecked(true);

    connect(ui->sortButton, &QPushButton::clicked, this, &MainWindow::sortFiles);
    // Typing the folder is the first thing to do, and Enter then presses Start, question and all.
    directoryLineEdit->setFocus();
    connect(directoryLineEdit, &QLineEdit::returnPressed, ui->sortButton, &QPushButton::click);
    new FolderField(directoryLineEdit, this);
    connect(ui->All, &QCheckBox::stateChanged, this, &MainWindow::on_All_stateChanged);
}

MainWindow::~MainWindow() {
    delete ui;
}

void MainWindow::sortFiles() {
    if (runLog->isRunning())
        return;
    const QString sourceDir = directoryLineEdit->text();
    if (!confirm("Confirmation",
                 "Are you sure you want to proceed sorting? This cannot be UNDONE."))
        return;
    const auto start = std::chrono::steady_clock::now();
    if (sourceDir.isEmpty()) {
        showInvalidPath();
        return;
    }
    const std::string sourceDirStdString = sourceDir.toStdString();
    if (namesWorkingDirectory(sourceDir) &&
        !confirm("Current Directory", "Are you sure you want to continue operating with current "
                                      "Directory? This can not be UNDONE."))
        return;
    if (!pallimor::isSortableDirectory(sourceDirStdString)) {
        showInvalidPath();
        return;
    }
    startRun(sourceDirStdString, start);
}

void MainWindow::on_Videos_toggled() {
    pallimor::FileCategory["Videos"] = ui->Videos->isChecked();
}

void MainWindow::on_Documents_toggled() {
    pallimor::FileCategory["Documents"] = ui->Documents->isChecked();
}

void MainWindow::on_Images_toggled() {
    pallimor::FileCategory["Images"] = ui->Images->isChecked();
}

void MainWindow::on_Audios_toggled() {
    pallimor::FileCategory["Audios"] = ui->Audios->isChecked();
}

void MainWindow::on_Codes_toggled() {
    pallimor::FileCategory["Programming-Languages"] = ui->Codes->isChecked();
}

void MainWindow::on_SystemFiles_toggled() {
    pallimor::FileCategory["System-Files"] = ui->SystemFiles->isChecked();
}

void MainWindow::on_PlainFiles_toggled() {
    pallimor::FileCategory["Plain-Files"] = ui->PlainFiles->isChecked();
}

void MainWindow::on_Executables_toggled() {
    pallimor::FileCategory["Executables"] = ui->Executables->isChecked();
}

void MainWindow::on_Shortcuts_toggled() {
    pallimor::FileCategory["Shortcuts"] = ui->Shortcuts->isChecked();
}

void MainWindow::on_All_stateChanged(int checked) {
    for (QCheckBox *box : {ui->Documents, ui->Images, ui->Audios, ui->Videos, ui->Codes,
                           ui->SystemFiles, ui->PlainFiles, ui->Executables, ui->Shortcuts})
        box->setChecked(checked != 0);
}

void MainWindow::on_githubLink_clicked() {
    QDesktopServices::openUrl(QUrl(projectPage, QUrl::TolerantMode));
}

bool MainWindow::confirm(const QString &title, const QString &text) {
    // A box closed without an answer is no consent to a move that cannot be undone.
    return showBox(this, QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::Yes) == QMessageBox::Yes;
}

void MainWindow::showInvalidPath() {
    showBox(this, QMessageBox::Critical, "Error", "Invalid directory path. Please try again.",
            QMessageBox::Ok, QMessageBox::Ok);
}

void MainWindow::closeEvent(QCloseEvent *event) {
    if (!runLog->isRunning())
        return QMainWindow::closeEvent(event);
    closesWhenRunEnds = true;
    runLog->stop();
    event->ignore();
}

// One run at a time: while one goes, nothing that decides what it does takes input, and Escape
// stops it.
void MainWindow::startRun(const std::string &sourceDir,
                          std::chrono::steady_clock::time_point start) {
    focusBeforeRun = focusWidget();
    for (QWidget *setting : settingsOf(ui))
        setting->setEnabled(false);
    stopKey->setEnabled(true);
    runStart = start;
    runLog->start(sourceDir, start);
}

void MainWindow::endRun() {
    taskbar->hide();
    if (std::chrono::steady_clock::now() - runStart > longRun && !isActiveWindow() &&
        !closesWhenRunEnds)
        taskbar->askForAttention();
    stopKey->setEnabled(false);
    for (QWidget *setting : settingsOf(ui))
        setting->setEnabled(true);
    if (focusBeforeRun)
        focusBeforeRun->setFocus();
    if (closesWhenRunEnds)
        close();
}
