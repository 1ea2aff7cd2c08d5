#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <iostream>
#include <memory>
#include <sstream>

#include "support/TestDatabase.h"
#include "ui/MainWindow.h"

namespace fas::ui {
namespace {

using testing::HasSubstr;
using testing::MatchesRegex;

// The application object lives from the first window test to the end of all tests, and goes
// before static destruction begins (Qt cannot be torn down after its own statics).
class QtEnvironment : public testing::Environment {
  public:
    static QApplication& app() {
        static int argc = 1;
        static char name[] = "fas_ui_tests";
        static char* argv[] = {name, nullptr};
        if (!application_) {
            application_ = std::make_unique<QApplication>(argc, argv);
        }
        return *application_;
    }
    void TearDown() override { application_.reset(); }

  private:
    static inline std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] testing::Environment* const kQtEnvironment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

QApplication& app() {
    return QtEnvironment::app();
}

// Keeps the run's results lines and errors out of the test output.
class QuietStreams {
  public:
    QuietStreams()
        : out_(std::cout.rdbuf(outSink_.rdbuf())), err_(std::cerr.rdbuf(errSink_.rdbuf())) {}
    ~QuietStreams() {
        std::cout.rdbuf(out_);
        std::cerr.rdbuf(err_);
    }
    QuietStreams(const QuietStreams&) = delete;
    QuietStreams& operator=(const QuietStreams&) = delete;
    std::string out() const { return outSink_.str(); }

  private:
    std::ostringstream outSink_;
    std::ostringstream errSink_;
    std::streambuf* out_;
    std::streambuf* err_;
};

struct Window {
    test::TempDatabase database;
    ServerState state;
    int runs = 0;
    tasks::TaskList catalog;
    std::unique_ptr<MainWindow> window;

    explicit Window(std::int16_t poll = 5) {
        app();
        database.attach(state);
        state.company.AutomationServerPoll = poll;
        // Each run counts as many e-mails as there were runs, so lines tell runs apart.
        catalog = {{"count", [this](ServerState& s) {
                        ++runs;
                        for (int i = 0; i < runs; ++i) {
                            s.counters.addEmail();
                        }
                    }}};
        window = std::make_unique<MainWindow>(state, catalog);
    }
    template <typename T>
    T* child(const char* name) {
        auto* found = window->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QStringList lines() {
        return child<QPlainTextEdit>("txtResults")->toPlainText().split(QLatin1Char('\n'));
    }
};

TEST(MainWindow, ControlsCaptionsGeometryAndTabOrder) {
    Window w;
    MainWindow& form = *w.window;
    EXPECT_EQ(form.objectName(), "Form1");
    EXPECT_EQ(form.windowTitle(), "Ferrow Automation Server 7.16");
    EXPECT_EQ(form.size(), QSize(729, 466));
    EXPECT_EQ(form.minimumSize(), QSize(729, 466));
    EXPECT_EQ(form.maximumSize(), QSize(729, 466));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);

    auto* results = w.child<QPlainTextEdit>("txtResults");
    auto* exitButton = w.child<QPushButton>("btnExit");
    auto* clear = w.child<QPushButton>("btnClear");
    auto* doTask = w.child<QPushButton>("bntDoTask");
    ASSERT_TRUE(results && exitButton && clear && doTask);
    EXPECT_EQ(results->geometry(), QRect(8, 8, 713, 417));
    EXPECT_EQ(results->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(results->toPlainText().isEmpty());
    EXPECT_EQ(exitButton->text(), "Exit");
    EXPECT_EQ(exitButton->geometry(), QRect(640, 432, 81, 25));
    EXPECT_EQ(clear->text(), "Clear");
    EXPECT_EQ(clear->geometry(), QRect(552, 432, 81, 25));
    EXPECT_EQ(doTask->text(), "Do Tasks");
    EXPECT_EQ(doTask->geometry(), QRect(464, 432, 81, 25));

    // Tab order: results, Exit, Clear, Do Tasks, and round again.
    const std::vector<QWidget*> controls = {results, exitButton, clear, doTask};
    std::vector<QWidget*> order;
    QWidget* at = results;
    do {
        if (std::find(controls.begin(), controls.end(), at) != controls.end()) {
            order.push_back(at);
        }
        at = at->nextInFocusChain();
    } while (at != results && order.size() < 10);
    EXPECT_EQ(order, controls);

    EXPECT_FALSE(form.pollTimer().isActive());
    form.showServer("");
    EXPECT_EQ(form.windowTitle(), "Ferrow Automation Server 7.16 - ");
}

TEST(MainWindow, LoadRunsOnceAndStartsTheTimerForTheFirstTick) {
    Window w;
    QuietStreams quiet;
    w.window->load();
    EXPECT_EQ(w.runs, 1);
    EXPECT_EQ(w.window->schedule().pollTickCount(), 1);
    EXPECT_TRUE(w.window->pollTimer().isActive());
    EXPECT_EQ(w.window->pollTimer().interval(), 1000);
    const auto lines = w.lines();
    ASSERT_EQ(lines.size(), 2);  // the line, then the empty rest after its line break
    EXPECT_THAT(lines[0].toStdString(),
                MatchesRegex("[0-9]+/[0-9]+/[0-9]{4}( [0-9]+:[0-9]{2}:[0-9]{2} [AP]M)?  - "
                             "Emails: 1  Issues Created: 0  Issues Closed: 0"));
    EXPECT_EQ(lines[1], "");
    // The service log gets the same line.
    EXPECT_EQ(quiet.out(), lines[0].toStdString() + "\n");
}

TEST(MainWindow, DoTasksAddsANewestFirstLineWithoutMovingTheTickCount) {
    Window w;
    QuietStreams quiet;
    w.window->load();
    const auto count = w.window->schedule().pollTickCount();
    w.child<QPushButton>("bntDoTask")->click();
    EXPECT_EQ(w.runs, 2);
    EXPECT_EQ(w.window->schedule().pollTickCount(), count);
    EXPECT_TRUE(w.window->pollTimer().isActive());
    EXPECT_EQ(w.window->pollTimer().interval(), 60000);
    const auto lines = w.lines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_THAT(lines[0].toStdString(), HasSubstr("Emails: 2 "));
    EXPECT_THAT(lines[1].toStdString(), HasSubstr("Emails: 1 "));

    // Clear empties the box; the next run adds one line to the empty box.
    w.child<QPushButton>("btnClear")->click();
    EXPECT_TRUE(w.child<QPlainTextEdit>("txtResults")->toPlainText().isEmpty());
    w.child<QPushButton>("bntDoTask")->click();
    const auto after = w.lines();
    ASSERT_EQ(after.size(), 2);
    EXPECT_THAT(after[0].toStdString(), HasSubstr("Emails: 3 "));
}

TEST(MainWindow, TheFirstTickComesAfterOneSecondAndRunsWhenThePollIntervalIsZero) {
    Window w(0);
    QuietStreams quiet;
    w.window->load();
    QElapsedTimer clock;
    clock.start();
    while (w.runs < 2 && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(w.runs, 2);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_EQ(w.window->schedule().pollTickCount(), 2);
    EXPECT_EQ(w.window->pollTimer().interval(), 60000);
    EXPECT_TRUE(w.window->pollTimer().isActive());
    EXPECT_EQ(w.lines().size(), 3);
}

TEST(MainWindow, ExitEndsTheEventLoopAtOnce) {
    Window w(0);
    QuietStreams quiet;
    w.window->load();
    w.window->showServer("x");
    QTimer::singleShot(0, w.child<QPushButton>("btnExit"), &QPushButton::click);
    // A tick would be due one second later; Exit ends the loop first.
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(w.runs, 1);
    EXPECT_FALSE(w.state.db.isOpen());
}

TEST(MainWindow, TheResultsBoxKeepsTheNewestLines) {
    Window w;
    // An unreachable database makes each run quick: it still adds its line.
    w.state.db.setLocation("sqlite:" + (w.database.dir() / "absent.db").string(), w.database.dir());
    QuietStreams quiet;
    w.window->load();
    auto* doTask = w.child<QPushButton>("bntDoTask");
    auto* results = w.child<QPlainTextEdit>("txtResults");
    results->setPlainText(QStringLiteral("oldest\n"));
    for (int i = 0; i < MainWindow::kMaxResultsLines; ++i) {
        doTask->click();
    }
    const auto lines = w.lines();
    EXPECT_EQ(lines.size(), MainWindow::kMaxResultsLines + 1);
    EXPECT_FALSE(results->toPlainText().contains(QStringLiteral("oldest")));
    EXPECT_THAT(lines[0].toStdString(), HasSubstr("Errors: 1 (Could not open the database"));
    EXPECT_EQ(w.runs, 0);
}

}  // namespace
}  // namespace fas::ui
