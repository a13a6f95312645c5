#pragma once

#include "app/PropertyPage.h"

class SheetState;

// The settings page: reads, edits and writes the unit's settings record.
class CPage_Language final : public CPropertyPage
{
    Q_OBJECT

public:
    // UI text of the page's tab title.
    static constexpr int kTitleText = 55;

    // sheet is the main sheet's shared state; it outlives the page.
    explicit CPage_Language(SheetState& sheet, QWidget* parent = nullptr);
    ~CPage_Language() override;
    Q_DISABLE_COPY_MOVE(CPage_Language)

    void OnInitDialog() override;

private:
    SheetState& m_sheet;
};
