#include "device/CPage_Diagnosis.h"

CPage_Diagnosis::CPage_Diagnosis(SheetState& sheet, QWidget* parent)
    : CPropertyPage(parent), m_sheet(sheet)
{
}

CPage_Diagnosis::~CPage_Diagnosis() = default;

void CPage_Diagnosis::OnInitDialog() {}
