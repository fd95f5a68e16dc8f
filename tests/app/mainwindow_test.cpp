#include "../engine/testdata.h"
#include "mainwindow.h"
#include "runlog.h"

#include <QtTest>
#include <QtWidgets>
#ifndef Q_OS_WIN
#include <QtDBus>
#endif

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
    QStringList told;       // what the launcher was told: each progress shown once in a row
    QList<double> progress; // every progress shown

public slots:
    void openUrl(const QUrl &url) { opened << url; }
    void launcherUpdated(const QString &app, const QVariantMap &update) {
        const QString launcher = "application://" + QFileInfo(PALLIMOR_DESKTOP_ENTRY).fileName();
        if (update["progress-visible"].toBool())
            progress << update.value("progress").toDouble();
        const QString what = update.contains("urgent")
                                 ? (update["urgent"].toBool() ? "urgent" : "back")
                                 : (update["progress-visible"].toBool() ? "progress" : "hidden");
        if (told.isEmpty() || told.last() != what)
            told << (app == launcher ? what : app);
    }

private slots:
    // Each press of the start button asks and warns as the table says, the row's keys pressed in
    // the boxes as they open (closing them unanswered once the keys run out), each box's text
    // readable; a held Enter answers nothing. Enter in the field presses Start. No file is lost
    // or doubled. A press that sorts shows each awkward name on one pane line as text: line
    // breaks escaped, bytes that are no UTF-8 as U+FFFD. A run slowed down is watched from the
    // window's thread: the event loop never stalls long, the pane grows as files move, and Start
    // and All take no input; stopped by Escape or by closing the window, its log is the model's
    // up to the stop line and the summary, and a closed window closes once the run has stopped.
    // On Linux a watched run's launcher shows its progress rising, to 1 unless stopped, then
    // hides it; a run that ends unseen asks for attention if it was long, until the user is back.
    // The other runs find no session bus, and nothing says so.
    void sortButton() {
        QTest::failOnWarning(QRegularExpression("(?i)d-?bus"));
        // The program knows the bus's address from the start: the system's library reads it once.
        const QString busAddress = "unix:path=" + QDir::tempPath() + "/pallimor-test-bus";
        qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress.toUtf8());
        const auto table = model::readTable("sorting.txt");
        const QString home = QDir::currentPath(); // on Windows, also the drive of the data files
        const model::Scratch scratch("pallimor-window");
        const model::fs::path &root = scratch.deep;
        const QString dir = QString::fromStdString(pallimor::utf8FromPath(root));
        const std::string elsewhere =
            QSysInfo::productType() == "windows" ? "on Linux" : "on Windows";
        // As a file manager drags paths or addresses (joined by " + "), as URLs and as the first
        // one's text; as in Qt, a drag that is not taken is not dropped.
        const auto dragged = [](QWidget *onto, const QString &path) {
            QMimeData data;
            QList<QUrl> urls;
            for (const QString &each : path.split(" + "))
                urls << QUrl::fromUserInput(each);
            data.setUrls(urls);
            data.setText(urls.front().toString());
            const auto offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
            QDragEnterEvent enter(onto->rect().center(), offered, &data, Qt::LeftButton, {});
            QDropEvent drop(onto->rect().center(), offered, &data, Qt::LeftButton, {});
            QApplication::sendEvent(onto, &enter);
            QApplication::sendEvent(onto, &drop);
            return enter.isAccepted();
        };
        for (const auto &row : table) {
            if (row.size() < 4)
                continue;
            const std::string how = row.size() > 4 ? row[4] : "";
            if (row[0].ends_with(elsewhere))
                continue;
            const bool watched = how == "watched" || how == "Escape" || how == "close" ||
                                 how == "unseen" || how == "scrolled";
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
            auto *field = window.findChild<QLineEdit *>("directoryLineEdit");
            all->click();
            const model::Lines lines = model::replay(root).first;
            fill();
            const auto before = model::contents(model::snapshot(root));
            const auto longEnough = std::chrono::steady_clock::now() + 6s; // past a long run
            run->beforeEachMove = [&](auto &) {
                std::this_thread::sleep_for(watched * 20ms);
                if (how == "unseen")
                    std::this_thread::sleep_until(longEnough);
            };
            told.clear(), progress.clear();
#ifndef Q_OS_WIN
            QProcess bus; // a session bus of the test's own, for the runs watched, gone after each
            if (watched) {
                bus.start("dbus-daemon",
                          {"--session", "--address=" + busAddress, "--print-address", "--nofork"});
                QVERIFY(bus.waitForReadyRead(10000));
                QDBusConnection::disconnectFromBus("listener");
                QDBusConnection::connectToBus(busAddress, "listener")
                    .connect({}, {}, "com.canonical.Unity.LauncherEntry", "Update", this,
                             SLOT(launcherUpdated(QString, QVariantMap)));
            }
#endif
            window.show();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            QString path = QString::fromStdString(model::unescaped(row[1]));
            if (path.contains("<cwd"))
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
            QWidget other;
            // While the run goes: how long the event loop stalls, and once the pane has grown and
            // the window is active again, Start, All and the stop.
            const auto watch = [&] {
                stall = stall < 0 ? (clock.start(), 0) : std::max(stall, clock.restart());
                if (!watched || pane->toPlainText().count('\n') < 7 || grown)
                    return;
                if (!window.isActiveWindow())
                    return window.activateWindow();
                all->click();
                grown = !dragged(field, path); // no drop during a run
                QTest::mouseClick(window.findChild<QPushButton *>("sortButton"), Qt::LeftButton);
                QMetaObject::invokeMethod(&window, &MainWindow::sortFiles, Qt::QueuedConnection);
                how == "Escape"     ? QTest::keyClick(&window, Qt::Key_Escape)
                : how == "scrolled" ? QTest::keyClick(pane, Qt::Key_Home, Qt::ControlModifier)
                                    : void(how == "close" && window.close());
                if (how == "watched" || how == "unseen")
                    other.show(), other.activateWindow();
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
            if (how == "typed")
                QTest::keyClicks(window.focusWidget(), path);
            else if (how == "pasted")
                QGuiApplication::clipboard()->setText(path),
                    QTest::keySequence(field, QKeySequence::Paste);
            else if (how.starts_with("completed")) { // typed at once, as though pasted
                QTest::keyClicks(field, path.chopped(1));
                QTRY_VERIFY(QApplication::activePopupWidget());
                auto *list = qobject_cast<QAbstractItemView *>(QApplication::activePopupWidget());
                how.ends_with("click")
                    ? QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                                        list->visualRect(list->model()->index(0, 0)).center())
                    : (QTest::keyClick(list, Qt::Key_Down), QTest::keyClick(list, Qt::Key_Return));
            } else
                field->setText(how.starts_with("drop") ? "typed before" : path);
            if (how.starts_with("drop")) { // Enter then goes where the focus is
                QWidget *onto = how.ends_with("log") ? static_cast<QWidget *>(pane) : field;
                onto->setFocus();
                QCOMPARE(dragged(onto, path), how != "drop refused");
            }
            QCOMPARE(seen.size(), 1); // however it came in, the path has asked nothing yet
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
#ifndef Q_OS_WIN
            if (watched) {
                // What is sent with the hiding has arrived a moment after it.
                QTRY_VERIFY(told.contains("hidden"));
                QTest::qWait(200);
                window.activateWindow();
                const QStringList attention = {"urgent", "back"};
                QTRY_COMPARE(told, QStringList({"progress", "hidden"}) +
                                       (how == "unseen" ? attention : QStringList()));
                QVERIFY(std::ranges::is_sorted(progress));
                QCOMPARE_LT(progress.first(), 0.5);
                QCOMPARE(progress.last() == 1, how != "Escape" && how != "close");
                bus.kill(), bus.waitForFinished();
            }
#endif
            const QString text = pane->toPlainText();
            QCOMPARE(text.isEmpty(), row[3].ends_with("Error") ||
                                         keys.size() + 1 != std::size_t(seen.size()) ||
                                         !QByteArray("y\r").contains(keys.back()));
            if (field->text() != dir || text.isEmpty())
                continue;
            // A copy of part of the log, from within a block to within another.
            QTextCursor part = pane->textCursor();
            part.setPosition(int(text.indexOf('\n')) + 2);
            part.setPosition(int(text.lastIndexOf('\n')) - 1, QTextCursor::KeepAnchor);
            pane->setTextCursor(part);
            QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
            QTRY_COMPARE(
                QGuiApplication::clipboard()->text(),
                text.mid(part.selectionStart(), part.selectionEnd() - part.selectionStart()));
            // A copy holds every line as plain text and outlives the log, by key, by menu or
            // from what the pane offers by itself (the X11 selection, a drag), which Qt's own
            // copy puts on the clipboard.
            for (const QString way : {"key", "menu", "offer"}) {
                QGuiApplication::clipboard()->clear();
                QTest::keyClick(pane, Qt::Key_A, Qt::ControlModifier);
                if (way == "key")
                    QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
                else if (way == "offer")
                    pane->copy();
                else { // the menu's Copy
                    QContextMenuEvent menu(QContextMenuEvent::Keyboard, {}, {});
                    QApplication::sendEvent(pane->viewport(), &menu);
                    QWidget *popup = QApplication::activePopupWidget();
                    QVERIFY(popup);
                    for (QAction *action : popup->actions())
                        if (action->text().startsWith("&Copy"))
                            action->trigger();
                    popup->close();
                }
                QTRY_COMPARE(QGuiApplication::clipboard()->text(), text);
                // As the next run does: the pane cleared, then lines joined as a run joins them.
                qobject_cast<LogPane *>(pane)->clearLog();
                pane->setPlainText(QString(text).replace('\n', QChar::LineSeparator));
                QCOMPARE(QGuiApplication::clipboard()->text(), text);
            }
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
