#include "device/CPage_Poi.h"

CPage_Poi::CPage_Poi(SheetState& sheet, QWidget* parent) : CPropertyPage(parent), m_sheet(sheet) {}

CPage_Poi::~CPage_Poi() = default;

void CPage_Poi::OnInitDialog() {}
