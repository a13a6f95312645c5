#pragma once

#include "app/PropertyPage.h"

class SheetState;

// The diagnosis page: the unit's identity and versions, and its content check.
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

    void OnInitDialog() override;

private:
    SheetState& m_sheet;
};
