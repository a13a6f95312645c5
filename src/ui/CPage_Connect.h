#pragma once

#include "app/PropertyPage.h"

class CProptySheet;
class CTavoApp;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;

// The Connection page, always the first tab: how to attach the unit, the product web page,
// and the choice of the UI language. Apply stores the chosen language in the profile, loads
// its texts and has the sheet retitle its tabs.
class CPage_Connect final : public CPropertyPage
{
    Q_OBJECT

public:
    // UI text of the page's tab title.
    static constexpr int kTitleText = 0;

    // app and sheet outlive the page.
    CPage_Connect(CTavoApp& app, CProptySheet& sheet, QWidget* parent = nullptr);
    ~CPage_Connect() override;
    Q_DISABLE_COPY_MOVE(CPage_Connect)

    void OnInitDialog() override;
    void OnRefresh() override;

    // Sets the labels from UI texts 1 to 6 and refills the language list from the file's
    // "Lang_Item" names, selecting the current language.
    void ApplyTexts();
    // The Apply button: the list's selection (-1 when none) becomes the language.
    void OnApply();

protected:
    void CreateControls(QWidget* window) override;

private:
    CTavoApp& m_app;
    CProptySheet& m_sheet;
    QLabel* m_languageLabel = nullptr;
    QComboBox* m_languages = nullptr;
    QPushButton* m_apply = nullptr;
    QFrame* m_webArea = nullptr;
    QGroupBox* m_usbGroup = nullptr;
    QLabel* m_step1 = nullptr;
    QLabel* m_step2 = nullptr;
    QLabel* m_step3 = nullptr;
};
