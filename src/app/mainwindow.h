#pragma once

#include <QMainWindow>

#include <chrono>
#include <string>

class RunLog;
class TaskbarProgress;

QT_BEGIN_NAMESPACE
class QLineEdit;
class QShortcut;
class QPlainTextEdit;
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

public slots:
    void sortFiles();

private slots:
    void on_Videos_toggled();
    void on_Documents_toggled();
    void on_Images_toggled();
    void on_Audios_toggled();
    void on_Codes_toggled();
    void on_SystemFiles_toggled();
    void on_PlainFiles_toggled();
    void on_Executables_toggled();
    void on_Shortcuts_toggled();
    void on_All_stateChanged(int checked);
    void on_githubLink_clicked();

protected:
    // A run going stops after the file in hand, then the window closes.
    void closeEvent(QCloseEvent *event) override;

private:
    bool confirm(const QString &title, const QString &text);
    void showInvalidPath();
    void startRun(const std::string &sourceDir, std::chrono::steady_clock::time_point start);
    void endRun();

    Ui::MainWindow *ui;
    QPlainTextEdit *outputTextEdit;
    QLineEdit *directoryLineEdit;
    RunLog *runLog;
    TaskbarProgress *taskbar;
    QShortcut *stopKey;
    QWidget *focusBeforeRun = nullptr;
    std::chrono::steady_clock::time_point runStart;
    bool closesWhenRunEnds = false;
};
