#include "ui/MainWindow.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

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
      session_(state, catalog),
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
    BusyCursor busy;
    present(session_.load());
}

void MainWindow::showServer() {
    show();
    setWindowTitle(QString::fromStdString(session_.caption()));
}

void MainWindow::onTick() {
    BusyCursor busy;
    timer_.stop();
    present(session_.tick());
}

void MainWindow::onDoTasks() {
    BusyCursor busy;
    timer_.stop();
    present(session_.doTasks());
}

void MainWindow::onClear() {
    txtResults_->setPlainText(QString());
}

// The connection closed and the event loop ended at once: no further event of the window runs
// and the window is not asked whether it may close.
void MainWindow::onExit() {
    session_.exitProgram();
    QCoreApplication::exit(0);
}

void MainWindow::present(const WindowSession::Step& step) {
    if (step.line) {
        QTextDocument* document = txtResults_->document();
        QTextCursor cursor(document);
        cursor.movePosition(QTextCursor::Start);
        cursor.insertText(QString::fromStdString(*step.line) + QLatin1Char('\n'));
        // Newest first: the oldest lines are the ones beyond the limit, at the end.
        if (document->blockCount() > kMaxResultsLines + 1) {
            QTextCursor tail(document->findBlockByNumber(kMaxResultsLines));
            tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
            tail.removeSelectedText();
        }
        txtResults_->moveCursor(QTextCursor::Start);
    }
    timer_.start(step.nextTick);
}

}  // namespace fas::ui
