#pragma once

#include "app/PropertyPage.h"

class SheetState;

// The firmware recovery page: programs new firmware into a unit in boot mode.
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

    void OnInitDialog() override;

private:
    SheetState& m_sheet;
};
