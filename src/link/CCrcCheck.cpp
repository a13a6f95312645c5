#include "link/CCrcCheck.h"

#include "app/TavoApp.h"
#include "link/Packets.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int kIdMessage = 1160;
constexpr int kTextCaption = 124;
constexpr int kTextWaiting = 125;

} // namespace

int RunCrcCheck(std::shared_ptr<CrcCheckState> state, std::stop_token stop)
{
    const UsbCancelScope scope(state->m_cancel);
    // The answer may take the unit minutes: an owner that stops the worker gives it up.
    const std::stop_callback cancelOnStop(stop, [state] { state->m_cancel.Cancel(); });
    BuildCommand("$RC", 0, 0, 1);
    if (!UsbTransactReport(false))
        return 0;
    state->m_bDone.store(1);
    return 1;
}

CCrcCheck::CCrcCheck(QWidget* parent) : QDialog(parent), m_state(std::make_shared<CrcCheckState>())
{
    setObjectName(QString::number(kDialogId));
    setModal(true);
    m_message = new QLabel(this);
    m_message->setObjectName(QString::number(kIdMessage));
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    setMinimumSize(300, 90);

    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(kTimerId); });
    if (parent)
        parent->window()->installEventFilter(this);
}

CCrcCheck::~CCrcCheck()
{
    // Destroyed without having ended (its owner went first): the wait is given up all the
    // same, and m_worker then joins a worker that returns at once.
    m_state->m_cancel.Cancel();
}

void CCrcCheck::showEvent(QShowEvent* event)
{
    if (!m_initialised)
        OnInitDialog();
    QDialog::showEvent(event);
}

void CCrcCheck::OnInitDialog()
{
    m_initialised = true;
    m_ended = false;
    m_state = std::make_shared<CrcCheckState>();
    setWindowTitle(AppText(kTextCaption));
    m_message->setText(AppText(kTextWaiting));
    m_timer.start();
}

void CCrcCheck::OnTimer(int id)
{
    // A tick that was already queued when the dialog ended starts nothing.
    if (id != kTimerId || !m_initialised || m_ended)
        return;
    if (!m_state->m_bStarted.load()) {
        m_state->m_bStarted.store(1);
        m_worker.Start([state = m_state](std::stop_token stop) { RunCrcCheck(state, stop); });
    } else if (m_state->m_bDone.load()) {
        m_timer.stop();
        accept();
    }
}

void CCrcCheck::keyPressEvent(QKeyEvent* event)
{
    // With no buttons, Enter ends the dialog as Escape does; only a finished check counts.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CCrcCheck::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close && isVisible())
        reject();
    return QDialog::eventFilter(watched, event);
}

void CCrcCheck::done(int result)
{
    m_timer.stop();
    m_ended = true;
    if (!m_state->m_bDone.load())
        m_state->m_cancel.Cancel();
    QDialog::done(result);
}
