#include "../engine/testdata.h"
#include "mainwindow.h"
#include "runlog.h"

#include <QtTest>
#include <QtWidgets>

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
    // readable; a held Enter answers nothing. Enter in the field presses Start. No file is lost
    // or doubled. A press that sorts shows each awkward name on one pane line as text: line
    // breaks escaped, bytes that are no UTF-8 as U+FFFD. A run slowed down is watched from the
    // window's thread: the event loop never stalls long, the pane grows as files move, and Start
    // and All take no input; stopped by Escape or by closing the window, its log is the model's
    // up to the stop line and the summary, and a closed window closes once the run has stopped.
    void sortButton() {
        const auto table = model::readTable("sorting.txt");
        const QString home = QDir::currentPath(); // on Windows, also the drive of the data files
        const model::Scratch scratch("pallimor-window");
        const model::fs::path &root = scratch.deep;
        const QString dir = QString::fromStdString(pallimor::utf8FromPath(root));
        for (const auto &row : table) {
            if (row.size() < 4)
                continue;
            const std::string how = row.size() > 4 ? row[4] : "";
            const bool watched = !how.empty() && how != "typed" && how != "bulk";
            const auto fill = [&] { // bulk: more lines than the pane takes in a turn
                model::fill(root, std::mt19937(7), {"keep"});
                for (int file = 0; how == "bulk" && file < 3000; ++file)
                    model::write(root / ("bulk" + std::to_string(file)), std::to_string(file));
            };
            fill();
            MainWindow window;
            auto *all = window.findChild<QCheckBox *>("All");
            auto *pane = window.findChild<QPlainTextEdit *>("outputTextEdit");
            auto *run = window.findChild<RunLog *>();
            all->click();
            const model::Lines lines = model::replay(root).first;
            fill();
            const auto before = model::contents(model::snapshot(root));
            run->beforeEachMove = [&](auto &) { std::this_thread::sleep_for(watched * 20ms); };
            window.show();
            QVERIFY(QTest::qWaitForWindowActive(&window));
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
            QElapsedTimer clock;
            qint64 stall = -1, grown = 0;
            // While the run goes: how long the event loop stalls, and once the pane has grown and
            // the window is active again, Start, All and the stop.
            const auto watch = [&] {
                stall = stall < 0 ? (clock.start(), 0) : std::max(stall, clock.restart());
                if (!watched || pane->toPlainText().count('\n') < 7 || grown)
                    return;
                if (!window.isActiveWindow())
                    return window.activateWindow();
                all->click();
                QTest::mouseClick(window.findChild<QPushButton *>("sortButton"), Qt::LeftButton);
                QMetaObject::invokeMethod(&window, &MainWindow::sortFiles, Qt::QueuedConnection);
                how == "Escape"     ? QTest::keyClick(&window, Qt::Key_Escape)
                : how == "scrolled" ? QTest::keyClick(pane, Qt::Key_Home, Qt::ControlModifier)
                                    : void(how == "close" && window.close());
                grown = true;
            };
            QTimer poll;
            connect(&poll, &QTimer::timeout, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!box && run->isRunning())
                    return watch();
                if (!box || box->property("seen").toBool())
                    return;
                box->setProperty("seen", true);
                seen << box->windowTitle() + ": " + box->text() + unreadable(box);
                const auto next = std::size_t(seen.size() - 2);
                const char key = next < keys.size() ? keys[next] : 0;
                QWidget *focused = box->focusWidget() ? box->focusWidget() : box;
                if (key == 'r') // Enter held down: a repeat
                    QTest::simulateEvent(focused, true, Qt::Key_Return, {}, "\r", true);
                key == 0 || key == 'r' ? box->reject() : QTest::keyClick(box, key);
            });
            poll.start(5);
            how == "typed" ? QTest::keyClicks(window.focusWidget(), path)
                           : window.findChild<QLineEdit *>("directoryLineEdit")->setText(path);
            QTest::keyClick(window.focusWidget(), Qt::Key_Return);
            QTRY_VERIFY_WITH_TIMEOUT(!run->isRunning(), 60000);
            QDir::setCurrent(home);
            QCOMPARE(seen, expected);
            QCOMPARE(model::contents(model::snapshot(root)), before);
            QCOMPARE_LT(stall, 250); // milliseconds without a turn of the event loop
            QCOMPARE(grown && !all->isChecked() && window.isVisible() == (how != "close"), watched);
            QTextCursor end(pane->document());
            end.movePosition(QTextCursor::End); // the summary, unless the user scrolled up
            QCOMPARE(pane->viewport()->rect().contains(pane->cursorRect(end)), how != "scrolled");
            QVERIFY(how != "scrolled" || pane->verticalScrollBar()->value() == 0);
            const QString text = pane->toPlainText();
            QCOMPARE(text.isEmpty(), row[3].ends_with("Error") ||
                                         keys.size() + 1 != std::size_t(seen.size()) ||
                                         !QByteArray("y\r").contains(keys.back()));
            if (path != dir || text.isEmpty())
                continue;
            QTest::keyClick(pane, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
            QTRY_COMPARE(QGuiApplication::clipboard()->text(), text); // every line, as plain text
            QStringList shown, foretold;
            for (const QString &line : text.split('\n'))
                shown << QString::fromStdString(model::worded(line.toStdString(), "\\d+\\.\\d\\d"));
            for (const std::string &line : lines) // U+FFFD for bytes that are no UTF-8, as shown
                foretold << QString::fromStdString(line);
            const auto stop =
                shown.indexOf("Process Stopped: files not yet examined stay where they are.");
            // Stopped before the model's end; the summary counts the files examined so far.
            if (how == "Escape" || how == "close")
                foretold = foretold.mid(0, std::max(stop, qsizetype(0))) +
                           shown.mid(0 < stop && stop + 1 < foretold.size() ? stop : shown.size());
            QCOMPARE(shown, foretold);
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
