#include "ui/Application.h"

#include <QApplication>
#include <QMessageBox>
#include <iostream>
#include <string>

#include "startup/Startup.h"
#include "tasks/RuleCatalog.h"
#include "ui/CommandEntry.h"
#include "ui/MainWindow.h"

namespace fas::ui {

namespace {

// OK only, no icon: the only kind of box the server shows.
void showMessage(const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Ok);
    box.exec();
}

int runWindow(int argc, char** argv, ServerState& state, const std::filesystem::path& configFile) {
    QApplication app(argc, argv);
    auto started = startup::StartServer(state, configFile);
    if (started.status != startup::StartupStatus::Ready) {
        std::cerr << started.message << std::endl;
        if (auto box = StartupFailureBox(started)) {
            showMessage(box->title, box->text);
        }
        return startup::ExitStatusOf(started.status);
    }

    MainWindow window(state, tasks::RuleCatalog());
    window.load();
    window.showServer();
    const int status = QApplication::exec();
    state.db.CloseDatabase();
    return status;
}

}  // namespace

int RunApplication(int argc, char** argv) {
    return RunCommandLine(argc, argv, runWindow);
}

}  // namespace fas::ui
