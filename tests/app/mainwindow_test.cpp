#include "../engine/testdata.h"
#include "mainwindow.h"
#include "runlog.h"

#include <QtTest>
#include <QtWidgets>

#include <ranges>
#include <thread>

using namespace std::chrono_literals;

// Empty when a box's text as drawn meets WCAG's 4.5:1 against its ground, a note otherwise. The
// label holds only letters on a plain ground, so its lightest and darkest pixels are theirs; in
// linear sRGB, their relative luminance is a weighted sum.
QString unreadable(QMessageBox *box) {
    QImage text = box->findChild<QLabel *>("qt_msgbox_label")->grab().toImage();
    text.setColorSpace(QColorSpace::SRgb);
    text.convertToColorSpace(QColorSpace::SRgbLinear);
    QList<double> luminances;
    for (int i = 0; i < text.width() * text.height(); ++i) {
        const QColor c = text.pixelColor(i % text.width(), i / text.width());
        luminances << 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
    }
    const auto [darkest, lightest] = std::ranges::minmax(luminances);
    return (lightest + 0.05) / (darkest + 0.05) < 4.5 ? " (under 4.5:1)" : "";
}

class MainWindowTest : public QObject {
    Q_OBJECT

    QList<QUrl> opened;

public slots:
    void openUrl(const QUrl &url) { opened << url; }

private slots:
    // Each press of the start button asks and warns as the table says, the row's keys pressed in
    // the boxes as they open (closing them unanswered once the keys run out), each box's text
    // readable; a held Enter answers nothing. Enter in the field presses Start. A press that
    // sorts shows each awkward name on one pane line as text: line breaks escaped, bytes that are
    // no UTF-8 as U+FFFD.
    void sortButton() {
        const auto table = model::readTable("sorting.txt");
        const QString home = QDir::currentPath(); // on Windows, also the drive of the data files
        const model::Scratch scratch("pallimor-window");
        const model::fs::path &root = scratch.deep;
        const QString dir = QString::fromStdString(pallimor::utf8FromPath(root));
        for (const auto &row : table) {
            if (row.size() < 4)
                continue;
            model::fill(root, std::mt19937(7), {"keep"});
            MainWindow window;
            window.findChild<QCheckBox *>("All")->click();
            const model::Lines lines = model::replay(root).first;
            model::fill(root, std::mt19937(7), {"keep"});
            QString path = QString::fromStdString(model::unescaped(row[1]));
            if (path.startsWith("<cwd"))
                QDir::setCurrent(dir);
            QString native = QDir::toNativeSeparators(QDir::currentPath()) + QDir::separator();
#ifdef Q_OS_WIN
            native = native.toLower();
#endif
            path.replace("<dir>", dir)
                .replace("<cwd\\>", native)
                .replace("<cwd>", QDir::currentPath())
                .replace("<slashes>", QDir::fromNativeSeparators(dir));
            QStringList expected = {row[0].c_str()}, seen = expected;
            for (const auto &box : table)
                if (box.size() == 2 && row[3].find(box[0]) != std::string::npos)
                    expected << QString::fromStdString(box[0] + ": " + box[1]);
            const std::string keys = model::unescaped(row[2]);
            QTimer poll;
            connect(&poll, &QTimer::timeout, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!box || box->property("seen").toBool())
                    return;
                box->setProperty("seen", true);
                seen << box->windowTitle() + ": " + box->text() + unreadable(box);
                const auto next = std::size_t(seen.size() - 2);
                const char key = next < keys.size() ? keys[next] : 0;
                QWidget *focused = box->focusWidget() ? box->focusWidget() : box;
                if (key == 'r') // Enter held down: a repeat
                    QTest::simulateEvent(focused, true, Qt::Key_Return, {}, "\r", true);
                if (key == 0 || key == 'r')
                    box->reject();
                else
                    QTest::keyClick(box, key);
            });
            poll.start(5);
            row.size() > 4 ? QTest::keyClicks(window.focusWidget(), path)
                           : window.findChild<QLineEdit *>("directoryLineEdit")->setText(path);
            QTest::keyClick(window.focusWidget(), Qt::Key_Return);
            QTRY_VERIFY_WITH_TIMEOUT(!window.findChild<RunLog *>()->isRunning(), 60000);
            QDir::setCurrent(home);
            QCOMPARE(seen, expected);
            const QString pane = window.findChild<QTextEdit *>("outputTextEdit")->toPlainText();
            QCOMPARE(pane.isEmpty(), row[3].ends_with("Error") ||
                                         keys.size() + 1 != std::size_t(seen.size()) ||
                                         !QByteArray("y\r").contains(keys.back()));
            if (path != dir || pane.isEmpty())
                continue;
            QStringList shown, foretold;
            for (const QString &line : pane.split('\n'))
                shown << QString::fromStdString(model::worded(line.toStdString(), "\\d+\\.\\d\\d"));
            for (const std::string &line : lines) // U+FFFD for bytes that are no UTF-8, as shown
                foretold << QString::fromStdString(line);
            QCOMPARE(shown, foretold);
        }
    }

    // A run slowed to some milliseconds a move, watched from the window's thread: the event loop
    // never stalls long, the pane grows as files move, and the settings take no input meanwhile,
    // so Start starts nothing more and All stays unticked. The finished pane holds the model's
    // lines. Stopped by Escape or by closing the window, the run stops after the file in hand,
    // every file in one place, its log the model's up to there, the stop line and the summary;
    // a closed window closes once the run has stopped.
    void longRunAnswersAndStops() {
        const model::Scratch scratch("pallimor-long");
        const auto refill = [&] {
            model::removeTree(scratch.deep);
            for (int file = 0; file < 150; ++file)
                model::write(scratch.deep / ("f" + std::to_string(file) + ".zip"), "f");
        };
        for (const QString how : {"watched", "Escape", "close"}) {
            refill();
            MainWindow window;
            auto *all = window.findChild<QCheckBox *>("All");
            auto *pane = window.findChild<QTextEdit *>("outputTextEdit");
            auto *run = window.findChild<RunLog *>();
            all->click();
            model::Lines lines = model::replay(scratch.deep).first;
            refill();
            run->beforeEachMove = [](const auto &) { std::this_thread::sleep_for(5ms); };
            window.findChild<QLineEdit *>("directoryLineEdit")
                ->setText(QString::fromStdString(pallimor::utf8FromPath(scratch.deep)));
            window.show();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            QElapsedTimer clock;
            qint64 last = 0, stall = 0, questions = 0, grown = 0;
            QTimer watch;
            connect(&watch, &QTimer::timeout, [&] {
                // Yes, and the window active again, as the desktop makes it once the box is gone.
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                    return ++questions, box->button(QMessageBox::Yes)->click(),
                           window.activateWindow(), clock.start();
                if (!clock.isValid())
                    return;
                stall = std::max(stall, clock.elapsed() - std::exchange(last, clock.elapsed()));
                if (!run->isRunning() || pane->document()->blockCount() < 20 ||
                    !window.isActiveWindow() || grown++)
                    return;
                all->click();
                QTest::mouseClick(window.findChild<QPushButton *>("sortButton"), Qt::LeftButton);
                QMetaObject::invokeMethod(&window, &MainWindow::sortFiles, Qt::QueuedConnection);
                if (how == "Escape")
                    QTest::keyClick(&window, Qt::Key_Escape);
                if (how == "close")
                    window.close();
            });
            watch.start(2);
            QTest::mouseClick(window.findChild<QPushButton *>("sortButton"), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!run->isRunning(), 60000);
            QVERIFY2(stall < 250, qPrintable(QString("%1 ms without an event").arg(stall)));
            QVERIFY(questions == 1 && grown && !all->isChecked());
            QCOMPARE(window.isVisible(), how != "close");
            QStringList shown, foretold;
            for (const QString &line : pane->toPlainText().split('\n'))
                shown << QString::fromStdString(model::worded(line.toStdString(), "\\d+\\.\\d\\d"));
            const auto moved = std::ranges::count_if(shown, [](auto &l) { return l[0] == 'M'; });
            if (how != "watched") {
                lines.resize(moved + 1);
                lines.push_back("Process Stopped: files not yet examined stay where they are.");
                lines.push_back("Process Finished in <seconds> seconds with " +
                                std::to_string(moved) + " file(s).");
            }
            for (const std::string &line : lines)
                foretold << QString::fromStdString(line);
            QCOMPARE(shown, foretold);
            const model::Tree tree = model::snapshot(scratch.deep);
            QCOMPARE(std::ranges::count(tree | std::views::values, std::string("f")), 150);
        }
    }

    // First the controls Tab reaches from where the focus is at start, as a screen reader is told
    // of each: its object and name. Then one line per named widget: what it is, what a screen
    // reader says of it, and what it shows once clicked if it is a box or a link, the switches
    // then off and the pages opened. A box is clicked again after. The form as built is written
    // beside the test program, to be copied over the snapshot after a meant change.
    void formMatchesItsSnapshot() {
        MainWindow window;
        QString form;
        QDesktopServices::setUrlHandler("https", this, "openUrl");
        {
            QDebug out(&form);
            out << window.windowTitle() << window.size() << window.minimumSize()
                << window.maximumSize() << window.cursor().shape();
            for (int tab = 0; tab < 15; ++tab, QTest::keyClick(window.focusWidget(), Qt::Key_Tab))
                if (const auto *focused =
                        QAccessible::queryAccessibleInterface(&window)->focusChild())
                    out << "\n"
                        << "Tab" << focused->object()->objectName() << focused->role()
                        << focused->text(QAccessible::Name);
            for (QWidget *widget :
                 window.findChildren<QWidget *>(QRegularExpression("^(?!qt_)."))) {
                auto *button = qobject_cast<QAbstractButton *>(widget);
                if (button && button->objectName() != "sortButton")
                    button->click();
                out << "\n"
                    << widget->objectName() << widget->metaObject()->className() << "in"
                    << widget->parentWidget()->objectName();
                for (const char *property :
                     {"geometry", "minimumSize", "maximumSize", "text", "placeholderText",
                      "toolTip", "styleSheet", "checked", "focusPolicy", "accessibleName",
                      "accessibleDescription"})
                    if (widget->property(property).isValid())
                        out << property << widget->property(property);
                for (const auto &[category, on] : pallimor::FileCategory)
                    if (!on)
                        out << category.c_str();
                out << std::exchange(opened, {});
                if (qobject_cast<QCheckBox *>(button))
                    button->click();
            }
        }
        QDesktopServices::unsetUrlHandler("https");
        const QStringList lines = form.trimmed().split(" \n ");
        QFile built(PALLIMOR_FORM_AS_BUILT), snapshot(PALLIMOR_FORM_SNAPSHOT);
        QVERIFY(built.open(QIODevice::WriteOnly) && snapshot.open(QIODevice::ReadOnly));
        built.write(lines.join('\n').toUtf8() + '\n');
        QCOMPARE(lines, QString::fromUtf8(snapshot.readAll()).trimmed().split('\n'));
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
