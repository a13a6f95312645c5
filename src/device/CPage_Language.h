#pragma once

#include "app/PropertyPage.h"
#include "device/SettingsRecord.h"

#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class SheetState;

// The settings page (dialog 105): shows the unit's settings record as 30 drop-down lists, one
// per setting, whose selected position is the setting's byte, in ten frames; Load reads the
// record from the unit, Reset takes the defaults without touching the unit, and Save writes
// the record to the unit.
//
// The record and the dirty flag belong to the page object. The record is read afresh each
// time the page's window is created (the defaults, marked dirty, when the link is busy, the
// unit is in boot mode or the read fails); switching tabs does not read it again. Every
// exchange runs synchronously inside the handler that asks for it.
class CPage_Language final : public CPropertyPage
{
    Q_OBJECT

public:
    // UI text of the page's tab title.
    static constexpr int kTitleText = 55;
    // How many settings the page shows, one list each.
    static constexpr std::size_t kListCount = 30;
    static constexpr std::size_t kFrameCount = 10;

    // sheet is the main sheet's shared state; it outlives the page.
    explicit CPage_Language(SheetState& sheet, QWidget* parent = nullptr);
    ~CPage_Language() override;
    Q_DISABLE_COPY_MOVE(CPage_Language)

    // Fills the lists, then reads the record from the unit (the initial read).
    void OnInitDialog() override;
    // Fills the lists from the record.
    void OnShowPage() override;
    // The refresh: texts, list entries (the hour lists in the record's time format) and
    // selections from the record.
    void OnRefresh() override;
    // Load needs a connected unit and a free link; Save also needs a dirty record. Reset and
    // the lists are always enabled.
    void ApplyEnableRule() override;

    // Load (1149): handshake and read; the record read replaces the page's.
    void OnLoad();
    // Reset (1150): the defaults replace the record; nothing is sent.
    void OnReset();
    // Save (1151): takes the lists' selections into the record, then handshake and write.
    void OnSave();

    // The page's state, as tests read it.
    const SettingsRecord& Record() const { return m_record; }
    bool IsDirty() const { return m_bDirty; }

protected:
    void CreateControls(QWidget* window) override;

private:
    QWidget* DialogOwner();
    // Fill: texts, list entries, then Apply.
    void Fill();
    // Selects in each list the position its record byte holds (none for a byte beyond it).
    void Apply();
    // Stores each list's selected position in its record byte, 255 for none.
    void Collect();
    void OnListChanged();
    void InitialRead();
    // In boot mode: shows the error code and returns true.
    bool RefusedInBootMode(int errorCode);
    // A unit is connected and no other operation holds the link.
    bool LinkAvailable() const;

    SheetState& m_sheet;

    SettingsRecord m_record = kDefaultSettings;
    bool m_bDirty = false;

    std::array<QGroupBox*, kFrameCount> m_frames{};
    std::array<QLabel*, kListCount> m_labels{};
    std::array<QComboBox*, kListCount> m_lists{};
    QPushButton* m_load = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_save = nullptr;
};
