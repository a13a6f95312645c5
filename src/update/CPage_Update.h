#pragma once

#include "app/PropertyPage.h"
#include "link/ContentKind.h"
#include "link/TransferProgress.h"
#include "link/WorkerThread.h"
#include "update/ServerDownloads.h"

#include <QString>
#include <array>
#include <cstdint>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class SheetState;
struct VersionCatalogue;

// The update wizard page (dialog 106): brings the unit's database, voice set, images and
// firmware up to date from the update server.
//
// Each kind has a frame with its illustration, version label, status icon and status text;
// database, voice and images also have a list of the catalogue's entries, from which the user
// may pick another area or set. UPDATE compares the unit with the catalogue, downloads what
// differs (one download dialog after another), checks the link with "$BT" and starts the stage
// timer 10002, which runs the stages DB, voice, image and firmware in turn, one programming
// worker per needed stage, while it moves the progress bar and the step text.
//
// The profile value "OnUpdate" is 165 while a run is under way; a page created while it is set
// treats every kind as out of date, so an interrupted run is redone in full.
class CPage_Update final : public CPropertyPage
{
    Q_OBJECT

public:
    // UI text of the page's tab title.
    static constexpr int kTitleText = 7;
    static constexpr int kStageTimer = 10002;
    static constexpr int kFirstStagePeriodMs = 100;
    static constexpr int kStagePeriodMs = 500;
    // "OnUpdate" while a run is under way.
    static constexpr int kRunUnderWay = 165;

    // sheet and catalogue are the main sheet's shared state and version catalogue; both
    // outlive the page.
    explicit CPage_Update(SheetState& sheet, const VersionCatalogue& catalogue,
                          QWidget* parent = nullptr);
    ~CPage_Update() override;
    Q_DISABLE_COPY_MOVE(CPage_Update)

    // Takes the chosen entries from the unit's identity and the resume flag from the profile,
    // then refreshes the texts.
    void OnInitDialog() override;
    // The text refresh: radio buttons, the three lists, UPDATE, RefreshVersionStatus and the
    // step and status texts.
    void OnRefresh() override;
    // UPDATE is enabled only while a unit is connected and neither busy flag is set.
    void ApplyEnableRule() override;
    // Timer 10002 runs UpdateStageTimer; other ids do nothing.
    void OnTimer(int id) override;

    // Shows each kind's version label, and its status text and icon: UI text 36 with the green
    // icon when current, UI text 147 with the orange icon when not.
    void RefreshVersionStatus();
    // Marks the kinds that need updating and downloads their files in the order DB, voice,
    // image, firmware, counting 1 / total upwards. False, after showing the kind's failure
    // text, when a download fails (later kinds are not downloaded).
    bool AutoUpdatePlan();
    // The UPDATE button: plan, link check, "OnUpdate" = 165, stage timer.
    void OnUpdateButton();
    // One tick of the stage timer: starts, skips or finishes one stage.
    void UpdateStageTimer();

    // The page's state, as tests read it.
    bool IsResuming() const { return m_bResume; }
    std::uint32_t Total() const { return m_nTotal; }
    // The progress shared with the running (or last) worker; never null.
    std::shared_ptr<const TransferProgress> Progress() const { return m_progress; }
    // True while a programming worker of this page runs.
    bool WorkerRunning() const { return m_worker.Running(); }

protected:
    void CreateControls(QWidget* window) override;

private:
    struct KindControls
    {
        QGroupBox* frame = nullptr;
        QComboBox* list = nullptr; // none for firmware
        QLabel* version = nullptr;
        QLabel* icon = nullptr;
        QLabel* status = nullptr;
        QLabel* illustration = nullptr;
    };

    // Owner of the page's message boxes and dialogs: the sheet's window, which outlives a
    // page that the sheet removes while one of them is open.
    QWidget* DialogOwner();
    void FillList(ContentKind kind);
    void OnListChanged(ContentKind kind, int index);
    void PushData();
    void SetStatusText(int text);
    void NextStep();
    // The tick's branch for a content stage (DB, voice, image) that has not started.
    void StartContentStage(ContentKind kind);
    void StartFirmwareStage();
    void CompleteWithoutFirmware();
    bool IsCurrent(ContentKind kind) const;
    bool IsNeeded(ContentKind kind) const { return m_bNeeded[KindIndex(kind)] != 0; }
    bool StageStarted(ContentKind kind) const { return m_bStarted[KindIndex(kind)] != 0; }
    bool StageDone(ContentKind kind) const { return m_progress->IsDone(kind); }
    void MarkDone(ContentKind kind) { m_progress->done[KindIndex(kind)].store(1); }

    SheetState& m_sheet;
    const VersionCatalogue& m_catalogue;

    QRadioButton* m_auto = nullptr;
    QRadioButton* m_manual = nullptr;
    std::array<KindControls, kContentKindCount> m_kinds;
    QPushButton* m_update = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QLabel* m_stepLabel = nullptr;
    QLabel* m_statusLabel = nullptr;

    // Needed and stage-started flags per kind; the done flags, the error flag and the percent
    // are in m_progress, which the worker writes.
    std::array<std::uint8_t, kContentKindCount> m_bNeeded{};
    std::array<std::uint8_t, kContentKindCount> m_bStarted{};
    std::shared_ptr<TransferProgress> m_progress;
    // Chosen DB area, voice set and image set (the firmware slot is unused).
    std::array<std::uint32_t, kContentKindCount> m_nChosen{};
    std::uint32_t m_nTotal = 0;
    std::uint32_t m_nStep = 0;
    QString m_strStep;
    QString m_strStatus;
    bool m_bResume = false;

    ServerDownloads m_downloads;
    WorkerThread m_worker;
};
