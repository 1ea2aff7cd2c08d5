// Saves a picture of the main window after a few runs, for the docs:
//   xvfb-run -a fas_window_screenshot docs/window.png [CONFIG [PICKUP_DIR]]
// With CONFIG (a config.txt naming a demo database) the runs apply the real catalog to it, its
// messages going to PICKUP_DIR when given; without, they run on an empty schema database.
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <iostream>
#include <optional>

#include "startup/Startup.h"
#include "support/TestDatabase.h"
#include "tasks/RuleCatalog.h"
#include "ui/MainWindow.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::cerr << "usage: fas_window_screenshot OUTPUT.png [CONFIG [PICKUP_DIR]]\n";
        return 2;
    }
    QApplication app(argc, argv);
    fas::ServerState state;
    std::optional<fas::test::TempDatabase> database;
    std::optional<fas::startup::StartupResult> started;
    fas::tasks::TaskList catalog;
    if (argc == 4) {
        state.options.pickupDirectory = argv[3];
    }
    if (argc >= 3) {
        started = fas::startup::StartServer(state, argv[2]);
        if (started->status != fas::startup::StartupStatus::Ready) {
            std::cerr << started->message << "\n";
            return 1;
        }
        catalog = fas::tasks::RuleCatalog();
    } else {
        database.emplace();
        database->attach(state);
        state.company.AutomationServerPoll = 5;
        state.CaptionSuffix = "Demo Fleet";
    }

    fas::ui::MainWindow window(state, catalog);
    window.load();
    window.showServer(state.CaptionSuffix);
    auto* doTask = window.findChild<QPushButton*>(QStringLiteral("bntDoTask"));
    for (int i = 0; i < 2 && doTask != nullptr; ++i) {
        doTask->click();
    }
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::cerr << "cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
