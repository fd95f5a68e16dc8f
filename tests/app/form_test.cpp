#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QtTest>

namespace {

struct FormObject {
    const char *name;
    const char *className;
    const char *parent;
    QRect geometry; // null where a layout or the main window places the object
};

// Every object of the form, in the order the form creates them.
const FormObject formObjects[] = {
    {"centralwidget", "QWidget", "MainWindow", {}},
    {"frame", "QFrame", "centralwidget", {0, 0, 900, 41}},
    {"line_3", "QFrame", "frame", {0, 0, 16, 21}},
    {"horizontalLayoutWidget", "QWidget", "frame", {200, 0, 121, 41}},
    {"horizontalLayout", "QHBoxLayout", "horizontalLayoutWidget", {}},
    {"githubLink", "QPushButton", "horizontalLayoutWidget", {}},
    {"horizontalLayoutWidget_2", "QWidget", "frame", {320, 0, 121, 41}},
    {"horizontalLayout_2", "QHBoxLayout", "horizontalLayoutWidget_2", {}},
    {"githubLink_2", "QPushButton", "horizontalLayoutWidget_2", {}},
    {"horizontalLayoutWidget_3", "QWidget", "frame", {440, 0, 121, 41}},
    {"horizontalLayout_3", "QHBoxLayout", "horizontalLayoutWidget_3", {}},
    {"githubLink_3", "QPushButton", "horizontalLayoutWidget_3", {}},
    {"horizontalLayoutWidget_4", "QWidget", "frame", {560, 0, 121, 41}},
    {"horizontalLayout_4", "QHBoxLayout", "horizontalLayoutWidget_4", {}},
    {"githubLink_4", "QPushButton", "horizontalLayoutWidget_4", {}},
    {"horizontalLayoutWidget_5", "QWidget", "frame", {70, 20, 121, 41}},
    {"horizontalLayout_5", "QHBoxLayout", "horizontalLayoutWidget_5", {}},
    {"githubLink_5", "QPushButton", "horizontalLayoutWidget_5", {}},
    {"frame_2", "QFrame", "centralwidget", {0, 0, 200, 41}},
    {"horizontalLayoutWidget_6", "QWidget", "frame_2", {0, 0, 201, 41}},
    {"horizontalLayout_6", "QHBoxLayout", "horizontalLayoutWidget_6", {}},
    {"logo_pic", "QLabel", "horizontalLayoutWidget_6", {}},
    {"frame_3", "QFrame", "centralwidget", {0, 0, 200, 571}},
    {"All", "QCheckBox", "frame_3", {50, 110, 101, 26}},
    {"label", "QLabel", "frame_3", {50, 80, 101, 20}},
    {"Documents", "QCheckBox", "frame_3", {50, 140, 101, 26}},
    {"Images", "QCheckBox", "frame_3", {50, 170, 93, 26}},
    {"Audios", "QCheckBox", "frame_3", {50, 200, 93, 26}},
    {"Videos", "QCheckBox", "frame_3", {50, 230, 93, 26}},
    {"Codes", "QCheckBox", "frame_3", {50, 260, 93, 26}},
    {"PlainFiles", "QCheckBox", "frame_3", {50, 290, 93, 26}},
    {"SystemFiles", "QCheckBox", "frame_3", {50, 320, 111, 26}},
    {"line_5", "QFrame", "frame_3", {40, 560, 118, 3}},
    {"Executables", "QCheckBox", "frame_3", {50, 350, 111, 26}},
    {"pushButton", "QPushButton", "frame_3", {160, 110, 21, 21}},
    {"pushButton_2", "QPushButton", "frame_3", {160, 260, 21, 21}},
    {"pushButton_3", "QPushButton", "frame_3", {160, 320, 21, 21}},
    {"pushButton_4", "QPushButton", "frame_3", {160, 350, 21, 21}},
    {"pushButton_5", "QPushButton", "frame_3", {160, 540, 21, 21}},
    {"advanceConfig", "QPushButton", "frame_3", {20, 540, 131, 20}},
    {"pushButton_6", "QPushButton", "frame_3", {160, 80, 21, 21}},
    {"Shortcuts", "QCheckBox", "frame_3", {50, 380, 111, 26}},
    {"pushButton_7", "QPushButton", "frame_3", {160, 380, 21, 21}},
    {"directoryLineEdit", "QLineEdit", "centralwidget", {210, 50, 538, 39}},
    {"sortButton", "QPushButton", "centralwidget", {760, 50, 132, 39}},
    {"outputTextEdit", "QTextEdit", "centralwidget", {210, 100, 679, 471}},
    {"statusbar", "QStatusBar", "MainWindow", {}},
};

QStringList formObjectNames() {
    QStringList names;
    for (const FormObject &object : formObjects)
        names << object.name;
    return names;
}

// Names the form's own children of a parent, leaving out the parts that Qt widgets make inside.
QStringList formChildrenOf(const QObject *parent) {
    static const QStringList known = formObjectNames();
    QStringList names;
    for (const QObject *child : parent->children())
        if (known.contains(child->objectName()))
            names << child->objectName();
    return names;
}

// The part of a widget that its ancestors up to `ancestor` do not clip away, in its coordinates.
QRect unclippedRect(const QWidget *widget, const QWidget *ancestor) {
    QRect rect(widget->mapTo(ancestor, QPoint()), widget->size());
    for (const QWidget *above = widget->parentWidget(); above != ancestor;
         above = above->parentWidget())
        rect &= QRect(above->mapTo(ancestor, QPoint()), above->size());
    return rect;
}

// Hands every text back marked, so that a test can tell it went through translation.
class RecordingTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override {
        calls << QStringList{context, sourceText, disambiguation ? disambiguation : "<none>",
                             QString::number(n)};
        return QStringLiteral("<%1>").arg(QString::fromUtf8(sourceText));
    }

    mutable QList<QStringList> calls;
};

} // namespace

class FormTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void objectTree_data();
    void objectTree();
    void frames_data();
    void frames();
    void styleSheets_data();
    void styleSheets();
    void stacking();
    void windowIsFixedAt900x600();
    void windowLook();
    void coveredByTheBanner_data();
    void coveredByTheBanner();
    void textsPassThroughTranslation();
    void setUpOnABareWindow_data();
    void setUpOnABareWindow();

private:
    template <typename T = QWidget> T *find(const QString &name) const {
        return window->findChild<T *>(name);
    }

    MainWindow *window = nullptr;
    QTemporaryDir iconTheme;
};

// A one-icon theme, so that the window icon resolves where the machine has no icon theme.
void FormTest::initTestCase() {
    QVERIFY(QDir(iconTheme.path()).mkpath("pallimor-test/apps"));
    QFile index(iconTheme.path() + "/pallimor-test/index.theme");
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=Test\nDirectories=apps\n\n[apps]\nSize=16\nType=Fixed\n");
    index.close();
    QImage pixels(16, 16, QImage::Format_ARGB32);
    pixels.fill(Qt::red);
    QVERIFY(pixels.save(iconTheme.path() + "/pallimor-test/apps/applications-utilities.png"));
    QIcon::setThemeSearchPaths({iconTheme.path()});
    QIcon::setThemeName("pallimor-test");
}

void FormTest::init() {
    window = new MainWindow;
    window->show();
}

void FormTest::cleanup() {
    delete window;
}

void FormTest::objectTree_data() {
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    for (const FormObject &object : formObjects)
        QTest::newRow(object.name) << object.className << object.parent << object.geometry;
}

void FormTest::objectTree() {
    QFETCH(QString, className);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);

    const QList<QObject *> found = window->findChildren<QObject *>(QTest::currentDataTag());
    QCOMPARE(found.size(), 1);
    QObject *object = found.first();
    QCOMPARE(QString(object->metaObject()->className()), className);
    QCOMPARE(object->parent()->objectName(), parent);
    if (object->parent() == window)
        return;
    if (auto *layout = qobject_cast<QLayout *>(object)) {
        QCOMPARE(layout->parentWidget()->layout(), layout);
        QCOMPARE(layout->contentsMargins(), QMargins());
        QCOMPARE(layout->count(), 1);
        return;
    }
    auto *widget = qobject_cast<QWidget *>(object);
    if (QLayout *holder = widget->parentWidget()->layout())
        QCOMPARE(holder->indexOf(widget), 0);
    else if (!geometry.isNull())
        QCOMPARE(widget->geometry(), geometry);
    QVERIFY(widget->isEnabled());
}

void FormTest::frames_data() {
    QTest::addColumn<QFrame::Shape>("shape");
    QTest::addColumn<QFrame::Shadow>("shadow");
    QTest::newRow("frame") << QFrame::StyledPanel << QFrame::Raised;
    QTest::newRow("line_3") << QFrame::VLine << QFrame::Sunken;
    QTest::newRow("frame_2") << QFrame::StyledPanel << QFrame::Raised;
    QTest::newRow("frame_3") << QFrame::StyledPanel << QFrame::Raised;
    QTest::newRow("line_5") << QFrame::HLine << QFrame::Sunken;
}

void FormTest::frames() {
    QFETCH(QFrame::Shape, shape);
    QFETCH(QFrame::Shadow, shadow);
    auto *frame = find<QFrame>(QTest::currentDataTag());
    QCOMPARE(frame->frameShape(), shape);
    QCOMPARE(frame->frameShadow(), shadow);
}

void FormTest::styleSheets_data() {
    QTest::addColumn<QStringList>("widgets");
    QTest::addColumn<QString>("sheet");
    const QStringList helpButtons = {"pushButton",   "pushButton_2", "pushButton_3", "pushButton_4",
                                     "pushButton_5", "pushButton_6", "pushButton_7"};
    const QStringList checkBoxes = {"All",         "Documents", "Images",     "Audios",
                                    "Videos",      "Codes",     "PlainFiles", "SystemFiles",
                                    "Executables", "Shortcuts"};
    QTest::newRow("window") << QStringList{"MainWindow"} << "background:#212529; padding: 0px;";
    QTest::newRow("top bar") << QStringList{"frame"}
                             << "background:#303438; border-bottom: 1px solid gray;"
                                "border-radius:none;";
    QTest::newRow("hidden line") << QStringList{"line_3"} << "color: white; opacity: 50%;";
    QTest::newRow("first link, border twice")
        << QStringList{"githubLink"}
        << "background: none; outline: none; color: white; border:none; padding: 0;border:none";
    QTest::newRow("other links")
        << QStringList{"githubLink_2", "githubLink_3", "githubLink_4", "githubLink_5"}
        << "background: none; outline: none; color: white; border:none; padding: 0;";
    QTest::newRow("banner") << QStringList{"frame_2"}
                            << "background:#36393C; border-bottom: 1px solid gray;"
                               "border-radius:none; border-right: 1px solid gray;";
    QTest::newRow("banner text") << QStringList{"logo_pic"} << "border:none;color: white;";
    QTest::newRow("side panel") << QStringList{"frame_3"}
                                << "background: #303438; border-radius: 5px;";
    QTest::newRow("check boxes") << checkBoxes << "color: white;";
    QTest::newRow("heading") << QStringList{"label"}
                             << "opacity: 50%; font-size: 10px;color: white;";
    QTest::newRow("help discs") << helpButtons
                                << "border-radius:10px;background: gray;color:black;";
    QTest::newRow("advance") << QStringList{"advanceConfig"} << "font-size: 11px;";
    QTest::newRow("directory field, two blanks")
        << QStringList{"directoryLineEdit"}
        << "background: #303438; color: white;  border: 1px solid gray;border-radius: 5px;";
    QTest::newRow("start button") << QStringList{"sortButton"}
                                  << "background-color: #6528E0; color: white;border-radius: "
                                     "5px; border: 1px solid gray; font-size:16px; "
                                     "font-weight: 700;";
    QTest::newRow("log pane, two blanks")
        << QStringList{"outputTextEdit"}
        << "background:#303438; border-radius: 5px;  border: 1px solid gray;color: white;";
    QTest::newRow("none of their own") << QStringList{"centralwidget",
                                                      "horizontalLayoutWidget",
                                                      "horizontalLayoutWidget_2",
                                                      "horizontalLayoutWidget_3",
                                                      "horizontalLayoutWidget_4",
                                                      "horizontalLayoutWidget_5",
                                                      "horizontalLayoutWidget_6",
                                                      "line_5",
                                                      "statusbar"}
                                       << QString();
}

void FormTest::styleSheets() {
    QFETCH(QStringList, widgets);
    QFETCH(QString, sheet);
    for (const QString &name : widgets) {
        QWidget *widget = name == "MainWindow" ? window : find(name);
        QVERIFY2(widget, qPrintable(name));
        QCOMPARE(widget->styleSheet(), sheet);
    }
}

void FormTest::stacking() {
    QCOMPARE(formChildrenOf(window), QStringList({"centralwidget", "statusbar"}));
    QCOMPARE(formChildrenOf(window->centralWidget()),
             QStringList({"frame_3", "frame", "directoryLineEdit", "sortButton", "outputTextEdit",
                          "frame_2"}));
    // Inside the panels, later objects lie above earlier ones, as the form creates them.
    for (const char *panel : {"frame", "frame_3"}) {
        QStringList created;
        for (const FormObject &object : formObjects)
            if (qstrcmp(object.parent, panel) == 0)
                created << object.name;
        QCOMPARE(formChildrenOf(find(panel)), created);
    }
}

void FormTest::windowIsFixedAt900x600() {
    const QSize fixed(900, 600);
    QCOMPARE(window->size(), fixed);
    QCOMPARE(window->minimumSize(), fixed);
    QCOMPARE(window->maximumSize(), fixed);
    window->resize(1000, 700);
    QCOMPARE(window->size(), fixed);
}

void FormTest::windowLook() {
    QCOMPARE(window->objectName(), QString("MainWindow"));
    QCOMPARE(window->windowModality(), Qt::NonModal);
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->windowIcon().name(), QString("applications-utilities"));
    QCOMPARE(window->centralWidget(), find("centralwidget"));
    QCOMPARE(window->statusBar(), find("statusbar"));
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    QVERIFY(!window->menuWidget());
    auto *logPane = find<QTextEdit>("outputTextEdit");
    QVERIFY(logPane->isReadOnly());
    QVERIFY(logPane->textInteractionFlags() & Qt::TextSelectableByMouse);

    QCOMPARE(window->cursor().shape(), Qt::PointingHandCursor);
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!widget->testAttribute(Qt::WA_SetCursor))
            QVERIFY2(widget->cursor().shape() == Qt::PointingHandCursor,
                     qPrintable(widget->objectName()));
    }
    QCOMPARE(find("directoryLineEdit")->cursor().shape(), Qt::IBeamCursor);
}

void FormTest::coveredByTheBanner_data() {
    QTest::addColumn<QString>("hidden");
    QTest::newRow("line_3") << "line_3";
    QTest::newRow("githubLink_5") << "githubLink_5";
}

void FormTest::coveredByTheBanner() {
    QFETCH(QString, hidden);
    QWidget *central = window->centralWidget();
    QWidget *banner = find("frame_2");
    QWidget *widget = find(hidden);
    QVERIFY(widget && widget->isVisible());

    const QRect onScreen = unclippedRect(widget, central);
    QVERIFY(!onScreen.isEmpty());
    QVERIFY(banner->geometry().contains(onScreen));
    for (int y = onScreen.top(); y <= onScreen.bottom(); ++y)
        for (int x = onScreen.left(); x <= onScreen.right(); ++x) {
            QWidget *top = central->childAt(x, y);
            QVERIFY2(top == banner || banner->isAncestorOf(top),
                     qPrintable(QString("%1,%2").arg(x).arg(y)));
        }
}

void FormTest::textsPassThroughTranslation() {
    const QList<QPair<QString, QString>> texts = {
        {"MainWindow", "Pallimor"},
        {"githubLink", "Github"},
        {"githubLink_2", "Documentation"},
        {"githubLink_3", "Update"},
        {"githubLink_4", "Linux Support"},
        {"githubLink_5", "Linux Support"},
        {"logo_pic", "            \u26A1Pallimor"},
        {"All", "All"},
        {"label", "Exceptions"},
        {"Documents", "Documents"},
        {"Images", "Images"},
        {"Audios", "Audios"},
        {"Videos", "Videos"},
        {"Codes", "Codes"},
        {"PlainFiles", "Plain Files"},
        {"SystemFiles", "System Files"},
        {"Executables", "Executables"},
        {"pushButton", "?"},
        {"pushButton_2", "?"},
        {"pushButton_3", "?"},
        {"pushButton_4", "?"},
        {"pushButton_5", "?"},
        {"advanceConfig", "Advance Configurations"},
        {"pushButton_6", "?"},
        {"Shortcuts", "Shortcuts"},
        {"pushButton_7", "?"},
        {"sortButton", QString::fromUcs4(U"\U0001F5F2tart Sort")},
    };
    RecordingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    translator.calls.clear(); // installing asks for Qt's own layout direction text
    MainWindow translated;
    QCoreApplication::removeTranslator(&translator);

    QList<QStringList> expectedCalls;
    for (const auto &[name, text] : texts) {
        expectedCalls << QStringList{"MainWindow", text, "<none>", "-1"};
        const QString shown = "<" + text + ">";
        if (name == "MainWindow")
            QCOMPARE(translated.windowTitle(), shown);
        else
            QCOMPARE(translated.findChild<QWidget *>(name)->property("text").toString(), shown);
    }
    QCOMPARE(translator.calls, expectedCalls);
    QVERIFY(translated.findChild<QTextEdit *>("outputTextEdit")->toPlainText().isEmpty());
    QVERIFY(translated.findChild<QLineEdit *>("directoryLineEdit")->text().isEmpty());
}

void FormTest::setUpOnABareWindow_data() {
    QTest::addColumn<QString>("nameBefore");
    QTest::addColumn<QString>("nameAfter");
    QTest::newRow("unnamed window gets MainWindow") << QString() << "MainWindow";
    QTest::newRow("named window keeps its name") << "tidier"
                                                 << "tidier";
}

void FormTest::setUpOnABareWindow() {
    QFETCH(QString, nameBefore);
    QFETCH(QString, nameAfter);
    QMainWindow bare;
    bare.setObjectName(nameBefore);
    Ui::MainWindow form;
    form.setupUi(&bare);
    QCOMPARE(bare.objectName(), nameAfter);
    // The window's constructor, not the form, decides which boxes start ticked.
    for (const QCheckBox *box : bare.findChildren<QCheckBox *>())
        QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
    QCOMPARE(bare.findChildren<QCheckBox *>().size(), 10);
}

QTEST_MAIN(FormTest)
#include "form_test.moc"
