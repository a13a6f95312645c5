#pragma once

#include <memory>

class CProptySheet;
class CTavoApp;

// Builds the main sheet with the Connection page (position 0) and the recovery page
// (position 1) and records it in app.m_pSheet; the caller clears m_pSheet when it destroys
// the sheet.
std::unique_ptr<CProptySheet> CreateMainSheet(CTavoApp& app);

// The start-up's last steps: CreateMainSheet, activate the Connection page and run the sheet
// modally. Returns when the user has closed the sheet; app.m_pSheet is null again.
void RunMainSheet(CTavoApp& app);
