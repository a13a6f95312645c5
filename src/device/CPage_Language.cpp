#include "device/CPage_Language.h"

CPage_Language::CPage_Language(SheetState& sheet, QWidget* parent)
    : CPropertyPage(parent), m_sheet(sheet)
{
}

CPage_Language::~CPage_Language() = default;

void CPage_Language::OnInitDialog() {}
