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
void showMessage(const char* title, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(title), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.exec();
}

int runWindow(int argc, char** argv, ServerState& state, const std::filesystem::path& configFile) {
    QApplication app(argc, argv);
    auto started = startup::StartServer(state, configFile);
    switch (started.status) {
        case startup::StartupStatus::Ready:
            break;
        case startup::StartupStatus::DatabaseRefused:
        case startup::StartupStatus::DatabaseUnavailable:
            // No box: the server may have been started unattended at boot with nobody to
            // dismiss it; the service log keeps the reason.
            std::cerr << started.message << std::endl;
            return startup::ExitStatusOf(started.status);
        case startup::StartupStatus::AlreadyRunning:
            std::cerr << started.message << std::endl;
            showMessage(startup::kAlreadyRunningTitle, started.message);
            return startup::ExitStatusOf(started.status);
        case startup::StartupStatus::BadConfig:
        case startup::StartupStatus::BadCompanySettings:
        case startup::StartupStatus::LockUnavailable:
            std::cerr << started.message << std::endl;
            showMessage(MainWindow::kDesignCaption, started.message);
            return startup::ExitStatusOf(started.status);
    }

    MainWindow window(state, tasks::RuleCatalog());
    window.load();
    window.showServer(state.CaptionSuffix);
    const int status = QApplication::exec();
    state.db.CloseDatabase();
    return status;
}

}  // namespace

int RunApplication(int argc, char** argv) {
    return RunCommandLine(argc, argv, runWindow);
}

}  // namespace fas::ui
