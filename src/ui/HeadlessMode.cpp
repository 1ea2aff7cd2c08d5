#include "ui/HeadlessMode.h"

#include <iostream>

#include "startup/Startup.h"
#include "tasks/ResultsLine.h"
#include "ui/HeadlessLoop.h"

namespace fas::ui {

namespace {

void runAndPrint(ServerState& state, const tasks::TaskList& catalog) {
    tasks::RunTasks(state, catalog);
    std::cout << tasks::ResultsLine(state, db::DateTime::nowLocal()) << std::endl;
    if (state.options.verbose) {
        std::cout << tasks::StepReportText(state) << std::flush;
    }
}

}  // namespace

int RunHeadless(ServerState& state, const std::filesystem::path& configFile, bool once,
                const tasks::TaskList& catalog) {
    const auto started = startup::StartServer(state, configFile);
    if (started.status != startup::StartupStatus::Ready) {
        std::cerr << started.message << std::endl;
        return startup::ExitStatusOf(started.status);
    }
    if (once) {
        runAndPrint(state, catalog);
        return state.report.errors.empty() ? 0 : 1;
    }
    PollSchedule schedule(state.company.AutomationServerPoll);
    SystemLoopClock clock;
    RunHeadlessLoop(
        schedule, clock, [&] { runAndPrint(state, catalog); }, [] { return true; });
    return 0;
}

}  // namespace fas::ui
