#include "ui/HeadlessMode.h"

#include <algorithm>
#include <condition_variable>
#include <iostream>
#include <mutex>

#include "monitoring/RunMonitor.h"
#include "platform/LogStreams.h"
#include "platform/ServiceManager.h"
#include "platform/StopRequests.h"
#include "startup/Startup.h"
#include "tasks/ResultsLine.h"
#include "ui/HeadlessLoop.h"

namespace fas::ui {

namespace {

// Real time between ticks, cut short by a stop request, feeding the watchdog while it waits.
class ServiceClock : public LoopClock {
  public:
    ServiceClock(RunControl& control, const platform::ServiceManager& notifier)
        : control_(control), notifier_(notifier) {}

    void sleepFor(std::chrono::milliseconds delay) override {
        const auto until = std::chrono::steady_clock::now() + delay;
        std::unique_lock lock(mutex_);
        while (!control_.stopRequested) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= until) {
                return;
            }
            const auto heartbeat = notifier_.heartbeatInterval();
            const auto next = heartbeat ? std::min(until, now + *heartbeat) : until;
            wake_.wait_until(lock, next, [&] { return control_.stopRequested.load(); });
            notifier_.watchdog();
        }
    }

    // From the stop request watcher.
    void requestStop() {
        {
            const std::lock_guard lock(mutex_);
            control_.stopRequested = true;
        }
        wake_.notify_all();
    }

  private:
    RunControl& control_;
    const platform::ServiceManager& notifier_;
    std::mutex mutex_;
    std::condition_variable wake_;
};

void runAndPrint(ServerState& state, const tasks::TaskList& catalog,
                 const platform::ServiceManager& notifier, monitoring::RunMonitor* monitor) {
    if (state.control.stopRequested) {
        return;
    }
    if (monitor != nullptr) {
        monitor->runStarting();
    }
    tasks::RunTasks(state, catalog);
    const std::string line = tasks::ResultsLine(state, db::DateTime::nowLocal());
    std::cout << line << std::endl;
    if (state.options.verbose) {
        std::cout << tasks::StepReportText(state) << std::flush;
    }
    if (state.report.stoppedInStep) {
        std::clog << "Stopped on request in step " << *state.report.stoppedInStep << " of "
                  << catalog.size()
                  << "; what the run did is logged, the rest waits for the next run." << std::endl;
    }
    notifier.status(line);
    if (monitor != nullptr) {
        monitor->runEnded(state, line);
    }
}

}  // namespace

int RunHeadless(ServerState& state, const std::filesystem::path& configFile, bool once,
                const tasks::TaskList& catalog,
                std::optional<std::chrono::milliseconds> retryStartup) {
    const platform::LogStreams journal;
    const platform::ServiceManager notifier;
    ServiceClock clock(state.control, notifier);
    // Before start-up: database drivers and the mail library may start threads of their own.
    const platform::StopRequests stopRequests([&] {
        clock.requestStop();
        notifier.stopping();
    });

    // A dry run is a look: it neither reports to the monitor nor replaces the service's metrics.
    std::optional<monitoring::RunMonitor> monitor;
    if (!state.options.dryRun) {
        try {
            monitor.emplace(monitoring::MonitorSettings::FromEnvironment(), FAS_VERSION, std::clog);
        } catch (const monitoring::MonitorSettingsError& e) {
            std::cerr << e.what() << std::endl;
            return startup::kExitNeedsPerson;
        }
    }
    monitoring::RunMonitor* const runMonitor = monitor ? &*monitor : nullptr;

    auto started = startup::StartServer(state, configFile);
    while (retryStartup && started.status == startup::StartupStatus::DatabaseUnavailable) {
        std::cerr << started.message << "\nTrying again in "
                  << std::chrono::duration_cast<std::chrono::seconds>(*retryStartup).count()
                  << " seconds." << std::endl;
        clock.sleepFor(*retryStartup);
        if (state.control.stopRequested) {
            return 0;
        }
        started = startup::StartServer(state, configFile);
    }
    if (started.status != startup::StartupStatus::Ready) {
        std::cerr << started.message << std::endl;
        return startup::ExitStatusOf(started.status);
    }
    // Configuration read, database reachable, single-copy lock held.
    if (!state.control.stopRequested) {
        notifier.ready();
    }
    if (const auto every = notifier.heartbeatInterval()) {
        // Between steps, rows and messages, and inside long statements where the engine can.
        state.control.setHeartbeat([&] { notifier.watchdog(); }, *every);
        state.db.whileWorking([&] { state.control.pulse(); });
    }
    if (runMonitor != nullptr) {
        runMonitor->started(state);
    }
    if (once) {
        runAndPrint(state, catalog, notifier, runMonitor);
        state.control.clearHeartbeat();
        return state.report.errors.empty() ? 0 : 1;
    }
    PollSchedule schedule(state.company.AutomationServerPoll);
    RunHeadlessLoop(
        schedule, clock, [&] { runAndPrint(state, catalog, notifier, runMonitor); },
        [&] { return !state.control.stopRequested; });
    state.control.clearHeartbeat();
    return 0;
}

}  // namespace fas::ui
