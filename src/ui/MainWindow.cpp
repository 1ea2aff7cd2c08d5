#include "ui/MainWindow.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <iostream>

#include "tasks/ResultsLine.h"

namespace fas::ui {

namespace {

// Window geometry in pixels at 96 dpi (15 twips a pixel).
constexpr int kClientWidth = 729;
constexpr int kClientHeight = 466;

// The hourglass for the whole application while a run works.
class BusyCursor {
  public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, int left) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setGeometry(left, 432, 81, 25);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

MainWindow::MainWindow(ServerState& state, const tasks::TaskList& catalog, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      state_(state),
      catalog_(catalog),
      schedule_(state.company.AutomationServerPoll),
      timer_(this) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(kDesignCaption));
    setFixedSize(kClientWidth, kClientHeight);

    txtResults_ = new QPlainTextEdit(this);
    txtResults_->setObjectName(QStringLiteral("txtResults"));
    txtResults_->setGeometry(8, 8, 713, 417);
    txtResults_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtResults_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtResults_->setTabChangesFocus(true);
    // Lines are added for years: an undo history would keep every one of them.
    txtResults_->setUndoRedoEnabled(false);

    btnExit_ = makeButton(this, "btnExit", "Exit", 640);
    btnClear_ = makeButton(this, "btnClear", "Clear", 552);
    bntDoTask_ = makeButton(this, "bntDoTask", "Do Tasks", 464);

    setTabOrder(txtResults_, btnExit_);
    setTabOrder(btnExit_, btnClear_);
    setTabOrder(btnClear_, bntDoTask_);
    txtResults_->setFocus();

    timer_.setObjectName(QStringLiteral("Timer1"));
    timer_.setSingleShot(true);  // restarted after each tick's work, as the wait counts from then
    timer_.setInterval(PollSchedule::kFirstTickDelay);

    connect(&timer_, &QTimer::timeout, this, &MainWindow::onTick);
    connect(bntDoTask_, &QPushButton::clicked, this, &MainWindow::onDoTasks);
    connect(btnClear_, &QPushButton::clicked, this, &MainWindow::onClear);
    connect(btnExit_, &QPushButton::clicked, this, &MainWindow::onExit);
}

void MainWindow::load() {
    {
        BusyCursor busy;
        runTasksAndReport();
    }
    timer_.start(schedule_.loaded());
}

void MainWindow::showServer(const std::string& captionSuffix) {
    show();
    setWindowTitle(windowTitle() + QStringLiteral(" - ") + QString::fromStdString(captionSuffix));
}

void MainWindow::onTick() {
    BusyCursor busy;
    timer_.stop();
    if (schedule_.tick()) {
        runTasksAndReport();
    }
    timer_.start(PollSchedule::kTickInterval);
}

void MainWindow::onDoTasks() {
    BusyCursor busy;
    timer_.stop();
    runTasksAndReport();
    timer_.start(schedule_.manualRun());
}

void MainWindow::onClear() {
    txtResults_->setPlainText(QString());
}

void MainWindow::onExit() {
    ExitProgram(state_);
}

void MainWindow::runTasksAndReport() {
    tasks::RunTasks(state_, catalog_);
    const std::string line = tasks::ResultsLine(state_, db::DateTime::nowLocal());
    // A service log keeps what the window shows.
    std::cout << line << std::endl;
    addResultsLine(QString::fromStdString(line));
}

void MainWindow::addResultsLine(const QString& line) {
    QTextDocument* document = txtResults_->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(line + QLatin1Char('\n'));
    // Newest first: the oldest lines are the ones beyond the limit, at the end.
    if (document->blockCount() > kMaxResultsLines + 1) {
        QTextCursor tail(document->findBlockByNumber(kMaxResultsLines));
        tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        tail.removeSelectedText();
    }
    txtResults_->moveCursor(QTextCursor::Start);
}

void ExitProgram(ServerState& state) {
    state.db.CloseDatabase();
    QCoreApplication::exit(0);
}

}  // namespace fas::ui
