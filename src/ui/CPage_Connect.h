#pragma once

#include "app/PropertyPage.h"

class CExplorer_con;
class CProptySheet;
class CTavoApp;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

// The Connection page, always the first tab: how to attach the unit, the product web page,
// and the choice of the UI language. Apply stores the chosen language in the profile, loads
// its texts and has the sheet retitle its tabs. Every refresh navigates the web view again to
// the product page of the current language.
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

    // The product web page on host: French for language 1, English for every other one.
    static QString ProductPageAddress(const QString& host, int language);
    // The product page's host: the profile string "WebHost" of section "Tavo_Config".
    QString WebHost() const;

protected:
    void CreateControls(QWidget* window) override;

private:
    CTavoApp& m_app;
    CProptySheet& m_sheet;
    QLabel* m_languageLabel = nullptr;
    QComboBox* m_languages = nullptr;
    QPushButton* m_apply = nullptr;
    CExplorer_con* m_webArea = nullptr;
    QGroupBox* m_usbGroup = nullptr;
    QLabel* m_step1 = nullptr;
    QLabel* m_step2 = nullptr;
    QLabel* m_step3 = nullptr;
};
