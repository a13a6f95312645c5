#pragma once

class CTavoApp;

// The start-up's last steps: builds the main sheet with the Connection page (position 0)
// and the recovery page (position 1), records it in app.m_pSheet, activates the Connection
// page and runs the sheet modally. Returns when the user has closed the sheet.
void RunMainSheet(CTavoApp& app);
