#pragma once

#include <QMainWindow>

#include <chrono>
#include <string>

QT_BEGIN_NAMESPACE
class QLineEdit;
class QTextEdit;
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

private:
    bool confirm(const QString &title, const QString &text);
    void showInvalidPath();
    void showRunLog(const std::string &sourceDir, std::chrono::steady_clock::time_point start);

    Ui::MainWindow *ui;
    QTextEdit *outputTextEdit;
    QLineEdit *directoryLineEdit;
};
