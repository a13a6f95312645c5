#pragma once

#include "app/PropertyPage.h"

class SheetState;
struct VersionCatalogue;

// The update wizard page: brings the unit's database, voice set, images and firmware up to date
// from the update server.
class CPage_Update final : public CPropertyPage
{
    Q_OBJECT

public:
    // UI text of the page's tab title.
    static constexpr int kTitleText = 7;

    // sheet and catalogue are the main sheet's shared state and version catalogue; both
    // outlive the page.
    explicit CPage_Update(SheetState& sheet, const VersionCatalogue& catalogue,
                          QWidget* parent = nullptr);
    ~CPage_Update() override;
    Q_DISABLE_COPY_MOVE(CPage_Update)

    void OnInitDialog() override;

private:
    SheetState& m_sheet;
    const VersionCatalogue& m_catalogue;
};
