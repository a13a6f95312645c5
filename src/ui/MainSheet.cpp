#include "ui/MainSheet.h"

#include "app/TavoApp.h"
#include "ui/CProptySheet.h"

void RunMainSheet(CTavoApp& app)
{
    CProptySheet sheet(app);
    app.m_pSheet = &sheet;
    app.m_nPageConnect = sheet.AddPage(CProptySheet::PageId::Connect);
    app.m_nPageReset = sheet.AddPage(CProptySheet::PageId::Reset);
    sheet.SetActivePage(app.m_nPageConnect);
    sheet.exec();
    app.m_pSheet = nullptr;
}
