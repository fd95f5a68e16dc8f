#include "catalogue.h"
#include "mainwindow.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <filesystem>
#include <fstream>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

const QStringList categoryBoxes = {"Documents",   "Images",     "Audios",      "Videos",   "Codes",
                                   "SystemFiles", "PlainFiles", "Executables", "Shortcuts"};
const QStringList switchNames = {
    "Documents",    "Images",      "Audios",      "Videos",   "Programming-Languages",
    "System-Files", "Plain-Files", "Executables", "Shortcuts"};

// Answers each message box as it opens, in turn, and remembers what it said.
class DialogAnswerer : public QObject {
public:
    explicit DialogAnswerer(QList<QMessageBox::StandardButton> answers) : answers(answers) {
        connect(&poll, &QTimer::timeout, this, &DialogAnswerer::answerOpenBox);
        poll.start(5);
    }

    QStringList seen;

private:
    void answerOpenBox() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        seen << box->windowTitle() + " | " + box->text();
        QAbstractButton *button = answers.isEmpty() ? nullptr : box->button(answers.takeFirst());
        if (button)
            button->click();
        else
            box->reject();
    }

    QList<QMessageBox::StandardButton> answers;
    QTimer poll;
};

void writeFile(const QString &directory, const std::string &name) {
    std::ofstream(directory.toStdString() + "/" + name) << name;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { openedUrls << url; }

private slots:
    void init();
    void cleanup();
    void declaresTheSlotsInOrder();
    void startsWithEveryBoxAndSwitchOn();
    void boxesDriveTheSwitches_data();
    void boxesDriveTheSwitches();
    void dialogs_data();
    void dialogs();
    void logPaneShowsNamesAsPlainText();
    void eachRunReplacesTheLog();
    void githubLinkOpensTheProjectPage();
    void otherButtonsDoNothing();

private:
    QCheckBox *box(const QString &name) const { return window->findChild<QCheckBox *>(name); }
    QTextEdit *logPane() const { return window->findChild<QTextEdit *>("outputTextEdit"); }
    QList<bool> boxStates() const;
    QList<bool> switchStates() const;
    QStringList runSort(const QString &path, QList<QMessageBox::StandardButton> answers);

    MainWindow *window = nullptr;
    QList<QUrl> openedUrls;
    QString startDirectory;
};

void MainWindowTest::init() {
    startDirectory = QDir::currentPath();
    window = new MainWindow;
    window->show();
    openedUrls.clear();
}

void MainWindowTest::cleanup() {
    delete window;
    QDir::setCurrent(startDirectory);
}

QList<bool> MainWindowTest::boxStates() const {
    QList<bool> states{box("All")->isChecked()};
    for (const QString &name : categoryBoxes)
        states << box(name)->isChecked();
    return states;
}

QList<bool> MainWindowTest::switchStates() const {
    QList<bool> states;
    for (const QString &name : switchNames)
        states << pallimor::FileCategory.at(name.toStdString());
    return states;
}

QStringList MainWindowTest::runSort(const QString &path,
                                    QList<QMessageBox::StandardButton> answers) {
    DialogAnswerer answerer(answers);
    window->findChild<QLineEdit *>("directoryLineEdit")->setText(path);
    QTest::mouseClick(window->findChild<QPushButton *>("sortButton"), Qt::LeftButton);
    return answerer.seen;
}

void MainWindowTest::declaresTheSlotsInOrder() {
    const QMetaObject *meta = window->metaObject();
    QStringList declared;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        declared << meta->method(i).methodSignature();
    QCOMPARE(declared,
             QStringList({"sortFiles()", "on_Videos_toggled()", "on_Documents_toggled()",
                          "on_Images_toggled()", "on_Audios_toggled()", "on_Codes_toggled()",
                          "on_SystemFiles_toggled()", "on_PlainFiles_toggled()",
                          "on_Executables_toggled()", "on_Shortcuts_toggled()",
                          "on_All_stateChanged(int)", "on_githubLink_clicked()"}));
}

void MainWindowTest::startsWithEveryBoxAndSwitchOn() {
    QCOMPARE(boxStates(), QList<bool>(10, true));
    QCOMPARE(switchStates(), QList<bool>(9, true));
    QCOMPARE(window->findChild<QLineEdit *>("directoryLineEdit")->placeholderText(),
             QString("Enter the directory you want to sort"));
}

void MainWindowTest::boxesDriveTheSwitches_data() {
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QList<bool>>("boxes");
    QTest::addColumn<QList<bool>>("switches");

    QList<bool> codesOff(10, true);
    codesOff[5] = false;
    QList<bool> programmingOff(9, true);
    programmingOff[4] = false;
    QTest::newRow("All off") << QStringList{"All"} << QList<bool>(10, false)
                             << QList<bool>(9, false);
    QTest::newRow("All off and on")
        << QStringList{"All", "All"} << QList<bool>(10, true) << QList<bool>(9, true);
    QTest::newRow("one box leaves All") << QStringList{"Codes"} << codesOff << programmingOff;
    QTest::newRow("All ticks the rest") << QStringList{"All", "Images", "Codes", "All"}
                                        << QList<bool>(10, true) << QList<bool>(9, true);
}

void MainWindowTest::boxesDriveTheSwitches() {
    QFETCH(QStringList, clicks);
    QFETCH(QList<bool>, boxes);
    QFETCH(QList<bool>, switches);
    for (const QString &name : clicks)
        box(name)->click();
    QCOMPARE(boxStates(), boxes);
    QCOMPARE(switchStates(), switches);
}

void MainWindowTest::dialogs_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("fromCurrentDirectory");
    QTest::addColumn<QList<QMessageBox::StandardButton>>("answers");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<bool>("sorted");

    using B = QMessageBox::StandardButton;
    const QString path = QStringLiteral("<dir>");
    QTest::newRow("confirmation declined")
        << path << false << QList<B>{B::No} << QStringList{"Confirmation"} << false;
    QTest::newRow("confirmed") << path << false << QList<B>{B::Yes} << QStringList{"Confirmation"}
                               << true;
    QTest::newRow("empty path") << QString() << false << QList<B>{B::Yes, B::Ok}
                                << QStringList{"Confirmation", "Error"} << false;
    QTest::newRow("missing directory") << path + "/missing" << false << QList<B>{B::Yes, B::Ok}
                                       << QStringList{"Confirmation", "Error"} << false;
    QTest::newRow("regular file") << path + "/a.zip" << false << QList<B>{B::Yes, B::Ok}
                                  << QStringList{"Confirmation", "Error"} << false;
#ifdef Q_OS_UNIX
    QTest::newRow("FIFO") << path + "/fifo" << false << QList<B>{B::Yes, B::Ok}
                          << QStringList{"Confirmation", "Error"} << false;
    QTest::newRow("dangling link") << path + "/dangling" << false << QList<B>{B::Yes, B::Ok}
                                   << QStringList{"Confirmation", "Error"} << false;
#endif
    QTest::newRow("trailing blank") << path + " " << false << QList<B>{B::Yes, B::Ok}
                                    << QStringList{"Confirmation", "Error"} << false;
    QTest::newRow("embedded NUL") << path + QChar(0) + "x" << false << QList<B>{B::Yes, B::Ok}
                                  << QStringList{"Confirmation", "Error"} << false;
    QTest::newRow("very long path")
        << path + "/" + QString(5000, 'x') << false << QList<B>{B::Yes, B::Ok}
        << QStringList{"Confirmation", "Error"} << false;
    QTest::newRow("current directory declined")
        << path << true << QList<B>{B::Yes, B::No}
        << QStringList{"Confirmation", "Current Directory"} << false;
    QTest::newRow("current directory accepted")
        << path << true << QList<B>{B::Yes, B::Yes}
        << QStringList{"Confirmation", "Current Directory"} << true;
    QTest::newRow("current directory spelt otherwise")
        << path + "/" << true << QList<B>{B::Yes} << QStringList{"Confirmation"} << true;
}

void MainWindowTest::dialogs() {
    QFETCH(QString, path);
    QFETCH(bool, fromCurrentDirectory);
    QFETCH(QList<QMessageBox::StandardButton>, answers);
    QFETCH(QStringList, titles);
    QFETCH(bool, sorted);

    const QMap<QString, QString> texts = {
        {"Confirmation", "Are you sure you want to proceed sorting? This cannot be UNDONE."},
        {"Current Directory", "Are you sure you want to continue operating with current "
                              "Directory? This can not be UNDONE."},
        {"Error", "Invalid directory path. Please try again."}};
    QTemporaryDir scratch;
    writeFile(scratch.path(), "a.zip");
#ifdef Q_OS_UNIX
    QCOMPARE(mkfifo(QFile::encodeName(scratch.path() + "/fifo").constData(), 0644), 0);
    QVERIFY(QFile::link("missing", scratch.path() + "/dangling"));
#endif
    if (fromCurrentDirectory)
        QDir::setCurrent(scratch.path());
    path.replace("<dir>",
                 QDir::currentPath() == scratch.path() ? QDir::currentPath() : scratch.path());
    box("All")->click();
    logPane()->setPlainText("previous log");

    const QStringList seen = runSort(path, answers);

    QStringList expected;
    for (const QString &title : titles)
        expected << title + " | " + texts[title];
    QCOMPARE(seen, expected);
    QCOMPARE(QFile::exists(scratch.path() + "/Uncategorized/a.zip"), sorted);
    QCOMPARE(logPane()->toPlainText() == "previous log", !sorted);
}

void MainWindowTest::logPaneShowsNamesAsPlainText() {
    QTemporaryDir scratch;
    for (const char *name : {"<b>bold.txt", "a&lt;b.txt", "caf\xE9.zip"})
        writeFile(scratch.path(), name);
    box("All")->click();

    runSort(scratch.path(), {QMessageBox::Yes});

    const QString dir = scratch.path();
    QStringList lines = logPane()->toPlainText().split('\n');
    QCOMPARE(logPane()->document()->blockCount(), 5);
    QCOMPARE(lines.takeFirst(), QString("Result Summary: "));
    QVERIFY2(lines.takeLast().startsWith("Process Finished in "), qPrintable(lines.join('\n')));
    lines.sort();
    QCOMPARE(lines,
             QStringList({
                 "Moved: " + dir + "/<b>bold.txt -> " + dir + "/Documents/Txt/<b>bold.txt",
                 "Moved: " + dir + "/a&lt;b.txt -> " + dir + "/Documents/Txt/a&lt;b.txt",
                 "Moved: " + dir + "/caf\uFFFD.zip -> " + dir + "/Uncategorized/caf\uFFFD.zip",
             }));
    // QTemporaryDir cannot name the file that is not UTF-8, so it would be left behind.
    std::filesystem::remove_all(dir.toStdString());
}

void MainWindowTest::eachRunReplacesTheLog() {
    QTemporaryDir scratch;
    box("All")->click();
    for (const char *name : {"first.zip", "second.zip", "third.zip"}) {
        writeFile(scratch.path(), name);
        runSort(scratch.path(), {QMessageBox::Yes});
        const QStringList lines = logPane()->toPlainText().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[1].endsWith(QString("/Uncategorized/") + name), qPrintable(lines[1]));
        QVERIFY(logPane()->font() == logPane()->document()->defaultFont());
    }
    QCOMPARE(logPane()->findChildren<QTextDocument *>(Qt::FindDirectChildrenOnly).size(), 1);
}

void MainWindowTest::githubLinkOpensTheProjectPage() {
    QDesktopServices::setUrlHandler("https", this, "openUrl");
    window->findChild<QPushButton *>("githubLink")->click();
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(openedUrls.size(), 1);
    QVERIFY(openedUrls[0].isValid());
    QCOMPARE(openedUrls[0].scheme(), QString("https"));
    QVERIFY(openedUrls[0].toString().contains("pallimor", Qt::CaseInsensitive));
}

void MainWindowTest::otherButtonsDoNothing() {
    QDesktopServices::setUrlHandler("https", this, "openUrl");
    QDesktopServices::setUrlHandler("http", this, "openUrl");
    logPane()->setPlainText("previous log");
    const QStringList buttons = {"githubLink_2", "githubLink_3", "githubLink_4", "githubLink_5",
                                 "pushButton",   "pushButton_2", "pushButton_3", "pushButton_4",
                                 "pushButton_5", "pushButton_6", "pushButton_7", "advanceConfig"};
    for (const QString &name : buttons) {
        auto *button = window->findChild<QPushButton *>(name);
        QVERIFY2(button && button->isEnabled(), qPrintable(name));
        button->click();
    }
    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("http");
    QVERIFY(openedUrls.isEmpty());
    QCOMPARE(boxStates(), QList<bool>(10, true));
    QCOMPARE(switchStates(), QList<bool>(9, true));
    QCOMPARE(logPane()->toPlainText(), QString("previous log"));
}

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
