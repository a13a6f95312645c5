#pragma once

#include "app/PropertyPage.h"
#include "link/TransferProgress.h"
#include "link/WorkerThread.h"
#include "update/ServerDownloads.h"

#include <QString>
#include <array>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class SheetState;

// The firmware recovery page (dialog 108): programs a 64 KB firmware image into a unit in
// boot mode, taken from the update server (Auto) or from a .bin file the user picks (Manual).
//
// Update refuses a unit that is not in boot mode ("Error[7001]"), proves with "$RH" that the
// unit answers, gets the image, and starts the recovery worker: the firmware write with the
// codes "Error[7002]" to "Error[7006]". The worker moves the progress bar through the
// user-interface thread and, at the end, shows the completion notice and then frees the link.
class CPage_Reset final : public CPropertyPage
{
    Q_OBJECT

public:
    // UI text of the page's tab title.
    static constexpr int kTitleText = 126;

    // sheet is the main sheet's shared state; it outlives the page.
    explicit CPage_Reset(SheetState& sheet, QWidget* parent = nullptr);
    ~CPage_Reset() override;
    Q_DISABLE_COPY_MOVE(CPage_Reset)

    // Checks Auto, then refreshes the texts.
    void OnInitDialog() override;
    // The text refresh: fixed texts, the instruction lines of the checked mode, the path and
    // Browse shown in Manual only, and the chosen path.
    void OnRefresh() override;
    // Update is enabled only while a unit is connected and neither busy flag is set.
    void ApplyEnableRule() override;

    // Browse: asks for a .bin file; a cancelled dialog keeps the previous path. Either way
    // the chosen path becomes the file to program.
    void OnBrowse();
    // Update: checks the mode and the link, gets the image and starts the recovery worker.
    void OnUpdateButton();

    // The page's state, as tests read it.
    QString ChosenPath() const { return m_strChosenPath; }
    QString FileToProgram() const { return m_strFileToProgram; }
    QString DownloadUrl() const { return m_strDownloadUrl; }
    bool IsAutoMode() const;
    // True while the recovery worker runs.
    bool WorkerRunning() const { return m_worker.Running(); }

protected:
    void CreateControls(QWidget* window) override;

private:
    // Owner of the page's message boxes and dialogs: the sheet's window, which outlives a
    // page that the sheet removes while one of them is open.
    QWidget* DialogOwner();
    void PullData();
    void PushData();
    bool Download();
    void StartRecoveryWorker();

    SheetState& m_sheet;

    QGroupBox* m_modeGroup = nullptr;
    QRadioButton* m_auto = nullptr;
    QRadioButton* m_manual = nullptr;
    QGroupBox* m_stepsGroup = nullptr;
    std::array<QLabel*, 7> m_lines{};
    QLineEdit* m_path = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_update = nullptr;
    QProgressBar* m_progressBar = nullptr;

    QString m_strChosenPath;
    QString m_strFileToProgram;
    QString m_strDownloadUrl;

    ServerDownloads m_downloads;
    WorkerThread m_worker;
};
