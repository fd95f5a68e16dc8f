#include "../engine/testdata.h"
#include "mainwindow.h"

#include <QtTest>
#include <QtWidgets>

class MainWindowTest : public QObject {
    Q_OBJECT

    QList<QUrl> opened;

    // Sorts `path` through `window`, pressing the next of `keys` in each message box as it opens
    // (y, n, e for Enter; Escape once they run out), and returns each box's title and text.
    static QStringList sort(MainWindow &window, const QString &path, const QString &keys) {
        QStringList seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box->property("seen").toBool())
                return;
            box->setProperty("seen", true);
            seen << box->windowTitle() + ": " + box->text();
            const char key = seen.size() > keys.size() ? '\x1b' : keys[seen.size() - 1].toLatin1();
            QTest::keyClick(box, key == 'e' ? '\r' : key);
        });
        poll.start(5);
        window.findChild<QLineEdit *>("directoryLineEdit")->setText(path);
        window.findChild<QPushButton *>("sortButton")->click();
        return seen;
    }

public slots:
    void openUrl(const QUrl &url) { opened << url; }

private slots:
    void sortButton_data() {
        QTest::addColumn<QStringList>("row"); // path | keys | titles
        for (const auto &row : model::readTable("sorting.txt"))
            if (row.size() > 2)
                QTest::newRow(row[0].c_str())
                    << QStringList{QString::fromStdString(model::unescaped(row[1])),
                                   QString::fromStdString(row[2]), QString::fromStdString(row[3])};
    }

    // Each press asks and warns as the table says; a press that sorts shows each awkward name on
    // one pane line as text, line breaks escaped, bytes that are no UTF-8 as U+FFFD.
    void sortButton() {
        QFETCH(QStringList, row);
        MainWindow window;
        QTemporaryDir scratch;
        const model::fs::path root = scratch.path().toStdU16String();
        // Linux lets only the standard library remove a name of bytes that are no UTF-8.
        const auto cleanup = qScopeGuard([&, cwd = QDir::currentPath()] {
            QDir::setCurrent(cwd);
            std::error_code ignored;
            model::fs::remove_all(root, ignored);
        });
        const auto names = model::readTable("names.txt"); // row 3: the whole run's files
        for (const std::string &name : names[2])
            model::write(root / pallimor::pathFromUtf8(model::unescaped(name)), name);
        model::write(root / "open.zip", "open while sorted");
        model::fs::permissions(root / pallimor::pathFromUtf8("Images/Jpg/été.jpg"),
                               model::fs::perms::owner_read);
        QFile::link("missing", scratch.filePath("dangling"));
        std::ifstream heldOpen(root / "open.zip");
        window.findChild<QCheckBox *>("All")->click();
        const auto [lines, tree] = model::replay(root);
        if (row[0].startsWith("<cwd>"))
            QDir::setCurrent(scratch.path());
        const QString path = row[0]
                                 .replace("<dir>", scratch.path())
                                 .replace("<cwd>", QDir::currentPath())
                                 .replace("<native>", QDir::toNativeSeparators(scratch.path()))
                                 .replace("<long>", QString(5000, 'x'));
        QStringList expected;
        for (const auto &text : model::readTable("sorting.txt"))
            if (text.size() == 2 && row[2].split(", ").contains(QString::fromStdString(text[0])))
                expected << QString::fromStdString(text[0] + ": " + text[1]);
        QCOMPARE(sort(window, path, row[1]), expected);
        const bool sorted = !row[1].endsWith('n') && !row[2].contains("Error");
        const QString pane = window.findChild<QTextEdit *>("outputTextEdit")->toPlainText();
        QCOMPARE(pane.isEmpty(), !sorted);
        if (sorted && path == scratch.path()) {
            QStringList shown, foretold;
            for (const QString &line : pane.split('\n'))
                shown << QString::fromStdString(model::worded(line.toStdString(), "\\d+\\.\\d\\d"));
            for (const std::string &line : lines) // U+FFFD for bytes that are no UTF-8, as shown
                foretold << QString::fromStdString(line);
            QCOMPARE(shown, foretold);
            QVERIFY(model::snapshot(root) == tree);
        }
    }

    // One line per named widget: what it is and shows, and what a click on it clears or opens
    // (a box is clicked again after). PALLIMOR_WRITE_SNAPSHOT=1 writes the file anew after a meant
    // change.
    void formMatchesItsSnapshot() {
        MainWindow window;
        const auto size = [](QSize s) { return QString("%1x%2").arg(s.width()).arg(s.height()); };
        QStringList form = {QString("window %1 %2 cursor %3")
                                .arg(window.windowTitle(), size(window.size()))
                                .arg(window.cursor().shape())};
        QDesktopServices::setUrlHandler("https", this, "openUrl");
        for (QWidget *widget : window.findChildren<QWidget *>(QRegularExpression("^(?!qt_)."))) {
            QString line = widget->objectName() + " " + widget->metaObject()->className() + " in " +
                           widget->parentWidget()->objectName();
            if (!widget->parentWidget()->layout())
                line +=
                    QString(" at %1,%2 ").arg(widget->x()).arg(widget->y()) + size(widget->size());
            line += " min " + size(widget->minimumSize()) + " max " + size(widget->maximumSize());
            for (const char *property : {"text", "placeholderText", "toolTip", "styleSheet"})
                if (!widget->property(property).toString().isEmpty())
                    line += QString(" %1=%2").arg(property, widget->property(property).toString());
            auto *button = qobject_cast<QAbstractButton *>(widget);
            if (button && button->objectName() != "sortButton") {
                button->click();
                QStringList cleared;
                for (const QCheckBox *box : window.findChildren<QCheckBox *>())
                    cleared << (box->isChecked() ? QString() : box->objectName());
                for (const auto &[category, on] : pallimor::FileCategory)
                    cleared << (on ? QString() : QString::fromStdString(category));
                line += " click clears [" + cleared.join(' ').simplified() + "]";
                for (const QUrl &url : std::exchange(opened, {}))
                    line += " opens " + url.toString();
                if (qobject_cast<QCheckBox *>(button))
                    button->click();
            }
            form << line.replace('\n', "\\n");
        }
        QDesktopServices::unsetUrlHandler("https");
        QFile snapshot(PALLIMOR_FORM_SNAPSHOT);
        if (qEnvironmentVariableIsSet("PALLIMOR_WRITE_SNAPSHOT")) {
            QVERIFY(snapshot.open(QIODevice::WriteOnly));
            snapshot.write(form.join('\n').toUtf8() + '\n');
            QSKIP("snapshot written");
        }
        QVERIFY(snapshot.open(QIODevice::ReadOnly));
        QCOMPARE(form, QString::fromUtf8(snapshot.readAll()).trimmed().split('\n'));
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
