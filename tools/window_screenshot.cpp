// Saves a picture of the main window after two runs, for the docs:
//   xvfb-run -a fas-window-screenshot docs/window.png [CONFIG]
// With CONFIG (a config.txt naming a demo database) the runs apply the real catalog to it;
// without, nothing on an empty schema database.
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <iostream>

#include "db/Schema.h"
#include "startup/Startup.h"
#include "tasks/RuleCatalog.h"
#include "ui/MainWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    fas::ServerState state;
    const QTemporaryDir dir;
    const std::filesystem::path empty = dir.filePath("empty.db").toStdString();
    fas::db::createSchemaDatabase(empty);
    state.DatabaseLocation = "sqlite:" + empty.string();
    state.db.setLocation(state.DatabaseLocation, empty.parent_path());
    state.CaptionSuffix = "Demo Fleet";
    const auto started =
        argc == 3 ? fas::startup::StartServer(state, argv[2]) : fas::startup::StartupResult{};
    if (argc < 2 || argc > 3 || started.status != fas::startup::StartupStatus::Ready) {
        std::cerr << "usage: fas-window-screenshot OUT.png [CONFIG]\n" << started.message << "\n";
        return 2;
    }
    fas::ui::MainWindow window(state,
                               argc == 3 ? fas::tasks::RuleCatalog() : fas::tasks::TaskList{});
    window.load();
    window.showServer();
    window.findChild<QPushButton*>("bntDoTask")->click();
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
