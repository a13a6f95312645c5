#include "PanelWindow.h"

#include "UnitChannel.h"

#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tavo::panel {
namespace {

constexpr int kRefreshMs = 500;
const QString kStatus = QStringLiteral("status");

QGroupBox* Group(const QString& title, QLayout* layout)
{
    auto* group = new QGroupBox(title);
    group->setLayout(layout);
    return group;
}

} // namespace

PanelWindow::PanelWindow(const QString& socketPath, QWidget* parent)
    : QWidget(parent), m_channel(new UnitChannel(socketPath, this)), m_connection(new QLabel),
      m_plug(new QPushButton(QStringLiteral("Plug in"))),
      m_unplug(new QPushButton(QStringLiteral("Unplug"))),
      m_poi(new QPushButton(QStringLiteral("POI button held"))), m_identity(new QFormLayout),
      m_check(new QFormLayout), m_count(new QSpinBox), m_problem(new QLabel), m_last(new QLabel)
{
    setWindowTitle(QStringLiteral("Tavo virtual unit"));
    m_poi->setCheckable(true);
    m_poi->setToolTip(
        QStringLiteral("Held while the cable goes in, the unit comes up in boot mode."));
    QFont bold = m_connection->font();
    bold.setBold(true);
    m_connection->setFont(bold);
    // Wide enough for its longest text, so the window does not change size as the unit does.
    m_connection->setMinimumWidth(
        QFontMetrics(bold).horizontalAdvance(DescribeConnection(false, false)) + 8);
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00020"));
    m_last->setWordWrap(true);

    auto* cable = new QVBoxLayout;
    cable->addWidget(m_connection);
    auto* plugRow = new QHBoxLayout;
    plugRow->addWidget(m_plug);
    plugRow->addWidget(m_unplug);
    cable->addLayout(plugRow);
    cable->addWidget(m_poi);

    auto* faults = new QVBoxLayout;
    m_count->setRange(0, 1000000);
    m_count->setSpecialValueText(QStringLiteral("0 (now)"));
    auto* countRow = new QFormLayout;
    countRow->addRow(QStringLiteral("N packets:"), m_count);
    faults->addLayout(countRow);
    const QList<FaultButton> buttons = FaultButtons();
    for (const FaultButton& fault : buttons) {
        auto* button = new QPushButton(fault.label);
        connect(button, &QPushButton::clicked, this,
                [this, fault] { m_channel->send(FaultCommand(fault, m_count->value())); });
        faults->addWidget(button);
        m_faults.append(button);
    }
    auto* clear = new QPushButton(QStringLiteral("Clear faults"));
    connect(clear, &QPushButton::clicked, this, [this] { m_channel->send(ClearFaultsCommand()); });
    faults->addWidget(clear);
    m_faults.append(clear);

    auto* socket = new QLabel(QStringLiteral("Socket: ") + socketPath);
    socket->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(Group(QStringLiteral("USB cable"), cable));
    left->addWidget(Group(QStringLiteral("What the unit reports"), m_identity));
    left->addWidget(Group(QStringLiteral("Content check"), m_check));
    left->addStretch();
    columns->addLayout(left);
    auto* right = new QVBoxLayout;
    right->addWidget(Group(QStringLiteral("Faults"), faults));
    right->addStretch();
    columns->addLayout(right);
    auto* page = new QVBoxLayout(this);
    page->addWidget(socket);
    page->addLayout(columns);
    page->addWidget(m_problem);
    page->addWidget(m_last);

    connect(m_plug, &QPushButton::clicked, this,
            [this] { m_channel->send(QStringLiteral("plug")); });
    connect(m_unplug, &QPushButton::clicked, this,
            [this] { m_channel->send(QStringLiteral("unplug")); });
    connect(m_poi, &QPushButton::clicked, this, [this](bool held) {
        m_channel->send(held ? QStringLiteral("boot on") : QStringLiteral("boot off"));
    });
    connect(m_channel, &UnitChannel::answered, this, &PanelWindow::onAnswer);
    connect(&m_refresh, &QTimer::timeout, this, &PanelWindow::refresh);

    display(DescribeNoUnit(QString()));
    m_refresh.start(kRefreshMs);
    refresh();
}

void PanelWindow::refresh()
{
    // A unit that answers slowly is not asked again before it has answered.
    if (!m_channel->busy())
        m_channel->send(kStatus);
}

void PanelWindow::onAnswer(const QString& commandLine, bool reached, const QString& answer)
{
    if (commandLine == kStatus) {
        display(reached ? DescribeStatus(answer) : DescribeNoUnit(answer));
        return;
    }
    m_last->setText(commandLine + QStringLiteral(": ") + answer);
    refresh();
}

void PanelWindow::display(const UnitView& view)
{
    m_connection->setText(view.connection);
    m_plug->setEnabled(view.reachable && !view.plugged);
    m_unplug->setEnabled(view.reachable && view.plugged);
    m_poi->setEnabled(view.reachable);
    m_poi->setChecked(view.bootButton);
    for (QPushButton* button : std::as_const(m_faults))
        button->setEnabled(view.reachable);
    fillRows(m_identity, view.identity);
    fillRows(m_check, view.check);
    m_problem->setText(view.problem);
    m_problem->setVisible(!view.problem.isEmpty());
}

void PanelWindow::fillRows(QFormLayout* form, const QList<Row>& rows)
{
    // The rows keep their labels while the unit answers; only their values change.
    if (form->rowCount() != rows.size()) {
        while (form->rowCount() > 0)
            form->removeRow(0);
        for (const Row& row : rows)
            form->addRow(row.first + u':', new QLabel);
    }
    for (int i = 0; i < rows.size(); ++i) {
        auto* value = static_cast<QLabel*>(form->itemAt(i, QFormLayout::FieldRole)->widget());
        value->setText(rows[i].second);
    }
}

} // namespace tavo::panel
