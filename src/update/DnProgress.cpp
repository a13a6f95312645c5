#include "update/DnProgress.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

std::shared_ptr<DownloadState> MakeState(const QString& url, const QString& localPath,
                                         qint64 maxBytesPerSecond)
{
    return std::make_shared<DownloadState>(
        url.toStdString(), QFile::encodeName(localPath).toStdString(), maxBytesPerSecond);
}

} // namespace

DnProgress::DnProgress(QWidget* parent) : QDialog(parent), m_state(MakeState({}, {}, 0))
{
    setObjectName(QStringLiteral("112"));
    // The template's caption, replaced when the dialog initialises.
    setWindowTitle(QStringLiteral("DOWNLOAD"));
    setModal(true);

    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("1023"));
    m_progressBar->setTextVisible(false);
    m_counterLabel = new QLabel(this);
    m_counterLabel->setObjectName(QStringLiteral("1028"));
    m_counterLabel->setAlignment(Qt::AlignCenter);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_counterLabel);
    setMinimumWidth(280);

    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(kTimerId); });
}

DnProgress::~DnProgress()
{
    // The worker may still run (the dialog was closed early, or is destroyed with its owner
    // without having ended): from here on it must not reach this object, and a download not
    // settled yet is abandoned. m_worker then stops it and waits for it, a fraction of a
    // second at most, so that nothing of the download outlives the dialog.
    m_state->SetProgressListener(nullptr);
    if (m_state->Settle())
        m_state->m_bFailed.store(1);
}

void DnProgress::SetDownload(const QString& url, const QString& localPath, std::uint32_t ordinal,
                             std::uint32_t total)
{
    m_url = url;
    m_localPath = localPath;
    m_ordinal = ordinal;
    m_total = total;
}

void DnProgress::showEvent(QShowEvent* event)
{
    if (!m_initialised)
        OnInitDialog();
    QDialog::showEvent(event);
}

void DnProgress::OnInitDialog()
{
    m_initialised = true;
    m_ended = false;
    m_abandoned = false;
    // A fresh state: flags clear, progress 0 against the "no report yet" maximum.
    m_state = MakeState(m_url, m_localPath, m_maxBytesPerSecond);
    setWindowTitle(QStringLiteral("Download"));
    m_counterLabel->setText(
        QString::asprintf("%d / %d", static_cast<int>(m_ordinal), static_cast<int>(m_total)));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);

    // The worker only posts a call; the bar is set here, on the user-interface thread. A call
    // still queued when the dialog goes away is dropped with it.
    m_state->SetProgressListener([this] {
        QMetaObject::invokeMethod(
            this, [this] { RefreshBar(); }, Qt::QueuedConnection);
    });
    m_timer.start();
}

void DnProgress::OnTimer(int id)
{
    // A tick that was already queued when the dialog ended starts nothing.
    if (id != kTimerId || !m_initialised || m_ended)
        return;
    RefreshBar();
    if (!m_state->m_bStarted.load()) {
        m_state->m_bStarted.store(1);
        m_worker.Start([state = m_state](std::stop_token stop) { RunDownload(state, stop); });
    } else if (m_state->m_bFinished.load()) {
        accept();
    }
}

void DnProgress::RefreshBar()
{
    const std::uint32_t progress = m_state->m_progress.load();
    const std::uint32_t maximum = m_state->m_progressMax.load();
    // A server that announces no size gives no percentage: the bar stays at 0 until it does.
    m_progressBar->setValue(static_cast<int>(ProgressPercent(progress, maximum)));
}

void DnProgress::done(int result)
{
    m_timer.stop();
    m_state->SetProgressListener(nullptr);
    // Ending before the worker has settled the download abandons it: the worker sees it,
    // stops and keeps nothing, and the caller counts the download as failed.
    // When the worker settled first, its failed flag is already final (it is written before
    // the worker settles).
    m_ended = true;
    if (m_state->Settle()) {
        m_abandoned = true;
        m_state->m_bFailed.store(1);
    }
    QDialog::done(result);
}

bool DnProgress::Failed() const
{
    return !m_ended || m_abandoned || m_state->m_bFailed.load() != 0;
}
