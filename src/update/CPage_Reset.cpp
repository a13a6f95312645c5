#include "update/CPage_Reset.h"

CPage_Reset::CPage_Reset(SheetState& sheet, QWidget* parent) : CPropertyPage(parent), m_sheet(sheet)
{
}

CPage_Reset::~CPage_Reset() = default;

void CPage_Reset::OnInitDialog() {}
