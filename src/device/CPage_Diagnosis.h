#pragma once

#include "app/PropertyPage.h"

#include <array>

class QGroupBox;
class QLabel;
class QPushButton;
class SheetState;

// The diagnosis page (dialog 116): the unit's hardware id and content versions, and its
// content check. Diagnosis proves the link with "$BT", runs the check dialog CCrcCheck and
// shows, for sound, database and images, "OK." or "Damaged."; "Not Checked." while no check
// was made since the unit was detected (the application's m_bCheckDone).
class CPage_Diagnosis final : public CPropertyPage
{
    Q_OBJECT

public:
    // UI text of the page's tab title.
    static constexpr int kTitleText = 116;

    // sheet is the main sheet's shared state; it outlives the page.
    explicit CPage_Diagnosis(SheetState& sheet, QWidget* parent = nullptr);
    ~CPage_Diagnosis() override;
    Q_DISABLE_COPY_MOVE(CPage_Diagnosis)

    // The Information lines, from the identity current now; they are not refreshed while the
    // window exists.
    void OnInitDialog() override;
    // The result texts: frame and button captions and the three result lines.
    void OnRefresh() override;
    // Diagnosis is enabled only while a unit is connected and neither busy flag is set.
    void ApplyEnableRule() override;

    // The Diagnosis button: refuses a boot-mode unit ("Error[6001]"), holds the link busy,
    // checks it with "$BT", runs the check dialog modally and takes its results. The busy flag
    // is clear again on every way out.
    void OnDiagnosis();

protected:
    void CreateControls(QWidget* window) override;

private:
    SheetState& m_sheet;

    QGroupBox* m_frame = nullptr;
    QPushButton* m_button = nullptr;
    std::array<QLabel*, 3> m_results{}; // sound, database, images
    std::array<QLabel*, 4> m_information{};

    // Results of the last completed check, in the order of m_results.
    std::array<bool, 3> m_bIntact{};
};
