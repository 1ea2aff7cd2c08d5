#include "ui/Application.h"

#include <QApplication>
#include <QMessageBox>
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
    return RunWindowServer(
        state, configFile, [](const StartupBox& box) { showMessage(box.title, box.text); },
        [&] {
            MainWindow window(state, tasks::RuleCatalog());
            window.load();
            window.showServer();
            return QApplication::exec();
        });
}

}  // namespace

int RunApplication(int argc, char** argv) {
    return RunCommandLine(argc, argv, runWindow);
}

}  // namespace fas::ui
