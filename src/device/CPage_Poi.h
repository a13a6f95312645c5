#pragma once

#include "app/PropertyPage.h"

class SheetState;

// The POI page: shows, deletes, backs up and restores the points of interest stored in the unit.
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

    void OnInitDialog() override;

private:
    SheetState& m_sheet;
};
