#pragma once

#include "app/PropertyPage.h"
#include "device/PoiRecord.h"
#include "platform/FileDialog.h"

#include <QString>
#include <cstdint>
#include <vector>

class QLineEdit;
class QPushButton;
class QTableWidget;
class SheetState;

// The POI page (dialog 110): shows, deletes, backs up and restores the points of interest
// stored in the unit.
//
// The list is the working copy of the POIs: View fills it from the unit, Load from a POI
// file; Update POI writes its unticked rows to both of the unit's stores (so ticking a row
// deletes it), Save writes all rows to a file. Exchanges run synchronously; the page never
// marks the link busy, it only frees it after a failed exchange. Update POI shows a code for
// every failure and leaves the list as it was.
class CPage_Poi final : public CPropertyPage
{
    Q_OBJECT

public:
    // UI text of the page's tab title.
    static constexpr int kTitleText = 109;

    // sheet is the main sheet's shared state; it outlives the page.
    explicit CPage_Poi(SheetState& sheet, QWidget* parent = nullptr);
    ~CPage_Poi() override;
    Q_DISABLE_COPY_MOVE(CPage_Poi)

    // Forgets the column set-up, the select-all state and a loaded file; the list starts
    // empty until View or Load.
    void OnInitDialog() override;
    // Button captions and the six column titles (UI texts 110 to 114).
    void OnRefresh() override;
    // View needs a connected unit and a free link; Update POI also a ticked row or a loaded
    // file. Save and Load are always enabled.
    void ApplyEnableRule() override;

    // View: reads the first store (the second when the first starts with an erased byte)
    // and lists its POIs. "Error[5001]" in boot mode; a failed read leaves the list alone.
    void OnView();
    // Update POI: after a Yes, writes the unticked rows to both stores, then views them.
    // "Error[5011]" when more rows remain than a store holds; No clears every tick.
    void OnUpdatePoi();
    // Save: writes every row to a POI file ("Error[5008]" when it cannot be created).
    void OnSave();
    // Load: replaces the list with a POI file's rows ("Error[5009]", "Error[5010]").
    void OnLoad();
    // A double click on row (-1: no row): shows the POI; nothing goes to the unit.
    void OnSendPoi(int row);
    // A click on the header of column: column 0 toggles every row's tick.
    void OnHeaderClick(int column);

    // The texts of every row, in list order, and of one row.
    std::vector<PoiRow> Rows() const;
    PoiRow RowAt(int row) const;

protected:
    void CreateControls(QWidget* window) override;

private:
    // Owner of the page's message boxes and dialogs: the sheet's window.
    QWidget* DialogOwner();
    // Asks for a POI file to write (Save) or read (Open): the path, empty on cancel.
    QString AskFileName(platform::FileDialogMode mode);
    void PushData();
    void ShowRows(const std::vector<PoiRow>& rows);
    void SetAllChecked(bool checked);
    bool AnyChecked() const;
    // Reads the store at address into m_store; false (link freed) on a failed exchange.
    bool ReadStore(std::uint32_t address);
    // Writes m_store at address: "$WD" then 25 data packets; shows headerCode or dataCode.
    bool WriteStore(std::uint32_t address, int headerCode, int dataCode);

    SheetState& m_sheet;

    QTableWidget* m_list = nullptr;
    QPushButton* m_view = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_load = nullptr;
    QLineEdit* m_count = nullptr;

    PoiStore m_store;
    bool m_bSelectAll = false;
    bool m_bLoadedFromFile = false;
    QString m_strCount;
    bool m_bColumnsCreated = false;
};
