#include "update/CPage_Update.h"

CPage_Update::CPage_Update(SheetState& sheet, const VersionCatalogue& catalogue, QWidget* parent)
    : CPropertyPage(parent), m_sheet(sheet), m_catalogue(catalogue)
{
}

CPage_Update::~CPage_Update() = default;

void CPage_Update::OnInitDialog() {}
