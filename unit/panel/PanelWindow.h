#pragma once

#include "UnitView.h"

#include <QTimer>
#include <QWidget>

class QFormLayout;
class QLabel;
class QPushButton;
class QSpinBox;

namespace tavo::panel {

class UnitChannel;

// The window that drives a running virtual unit: plug and unplug, the POI button, what the
// unit reports, and the faults it can inject. It asks the unit for its status every half
// second while it is open and after every button.
class PanelWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PanelWindow)

public:
    explicit PanelWindow(const QString& socketPath, QWidget* parent = nullptr);

private:
    void refresh();
    void onAnswer(const QString& commandLine, bool reached, const QString& answer);
    void display(const UnitView& view);
    void fillRows(QFormLayout* form, const QList<Row>& rows);

    UnitChannel* m_channel;
    QTimer m_refresh;
    QLabel* m_connection;
    QPushButton* m_plug;
    QPushButton* m_unplug;
    QPushButton* m_poi;
    QFormLayout* m_identity;
    QFormLayout* m_check;
    QSpinBox* m_count;
    QList<QPushButton*> m_faults;
    QLabel* m_problem;
    QLabel* m_last;
};

} // namespace tavo::panel
