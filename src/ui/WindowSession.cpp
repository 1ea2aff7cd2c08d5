#include "ui/WindowSession.h"

#include <iostream>

#include "tasks/ResultsLine.h"

namespace fas::ui {

WindowSession::WindowSession(ServerState& state, const tasks::TaskList& catalog)
    : state_(state), catalog_(catalog), schedule_(state.company.AutomationServerPoll) {}

WindowSession::Step WindowSession::load() {
    std::string line = runTasks();
    return {std::move(line), schedule_.loaded()};
}

WindowSession::Step WindowSession::tick() {
    std::optional<std::string> line;
    if (schedule_.tick()) {
        line = runTasks();
    }
    return {std::move(line), PollSchedule::kTickInterval};
}

WindowSession::Step WindowSession::doTasks() {
    std::string line = runTasks();
    return {std::move(line), schedule_.manualRun()};
}

std::string WindowSession::caption() const {
    return std::string(kDesignCaption) + " - " + state_.CaptionSuffix;
}

void WindowSession::exitProgram() {
    state_.db.CloseDatabase();
}

std::string WindowSession::runTasks() {
    tasks::RunTasks(state_, catalog_);
    std::string line = tasks::ResultsLine(state_, db::DateTime::nowLocal());
    // A service log keeps what the window shows.
    std::cout << line << std::endl;
    return line;
}

std::string PrependResultsLine(std::string_view text, std::string_view line, int maxLines) {
    std::string result;
    result.reserve(line.size() + 2 + text.size());
    result.append(line).append("\r\n");
    // Keep at most maxLines - 1 of the old lines; a line ends with its CR LF.
    std::size_t end = 0;
    for (int kept = 0; kept < maxLines - 1 && end < text.size(); ++kept) {
        const std::size_t next = text.find("\r\n", end);
        end = next == std::string_view::npos ? text.size() : next + 2;
    }
    result.append(text.substr(0, end));
    return result;
}

int RunWindowServer(ServerState& state, const std::filesystem::path& configFile,
                    const std::function<void(const StartupBox&)>& showBox,
                    const std::function<int()>& window) {
    const auto started = startup::StartServer(state, configFile);
    switch (started.status) {
        case startup::StartupStatus::Ready: {
            const int status = window();
            state.db.CloseDatabase();
            return status;
        }
        case startup::StartupStatus::DatabaseRefused:
        case startup::StartupStatus::DatabaseUnavailable:
            std::cerr << started.message << std::endl;
            break;
        case startup::StartupStatus::AlreadyRunning:
            std::cerr << started.message << std::endl;
            showBox({startup::kAlreadyRunningTitle, started.message});
            break;
        case startup::StartupStatus::BadConfig:
        case startup::StartupStatus::BadCompanySettings:
        case startup::StartupStatus::LockUnavailable:
            std::cerr << started.message << std::endl;
            showBox({kDesignCaption, started.message});
            break;
    }
    return startup::ExitStatusOf(started.status);
}

}  // namespace fas::ui
