#include "ui/MainSheet.h"

#include "app/TavoApp.h"
#include "ui/CProptySheet.h"

std::unique_ptr<CProptySheet> CreateMainSheet(CTavoApp& app)
{
    auto sheet = std::make_unique<CProptySheet>(app);
    app.m_pSheet = sheet.get();
    app.m_nPageConnect = sheet->AddPage(CProptySheet::PageId::Connect);
    app.m_nPageReset = sheet->AddPage(CProptySheet::PageId::Reset);
    return sheet;
}

void RunMainSheet(CTavoApp& app)
{
    const std::unique_ptr<CProptySheet> sheet = CreateMainSheet(app);
    sheet->SetActivePage(app.m_nPageConnect);
    sheet->exec();
    app.m_pSheet = nullptr;
}
