#include "ui/CPage_Connect.h"

#include "app/TavoApp.h"
#include "app/TextConvert.h"
#include "ui/CExplorer_con.h"
#include "ui/CProptySheet.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* StepLabel(int id)
{
    auto* label = WithId(new QLabel, id);
    label->setWordWrap(true);
    return label;
}

} // namespace

CPage_Connect::CPage_Connect(CTavoApp& app, CProptySheet& sheet, QWidget* parent)
    : CPropertyPage(parent), m_app(app), m_sheet(sheet)
{
}

CPage_Connect::~CPage_Connect() = default;

void CPage_Connect::CreateControls(QWidget* window)
{
    m_languageLabel = WithId(new QLabel, 1009);
    m_languages = WithId(new QComboBox, 1008);
    m_apply = WithId(new QPushButton, 1016);
    m_webArea = WithId(new CExplorer_con, 1031);
    m_usbGroup = WithId(new QGroupBox, 1004);
    m_step1 = StepLabel(1003);
    m_step2 = StepLabel(1005);
    m_step3 = StepLabel(1006);
    m_languages->setMinimumContentsLength(12);
    m_webArea->setMinimumHeight(240);
    m_webArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_webArea->setFrameShape(QFrame::StyledPanel);

    auto* languageRow = new QHBoxLayout;
    languageRow->addWidget(m_languageLabel);
    languageRow->addWidget(m_languages);
    languageRow->addWidget(m_apply);
    languageRow->addStretch();

    auto* steps = new QVBoxLayout(m_usbGroup);
    steps->addWidget(m_step1);
    steps->addWidget(m_step2);
    steps->addWidget(m_step3);

    auto* layout = new QVBoxLayout(window);
    layout->addLayout(languageRow);
    layout->addWidget(m_webArea, 1);
    layout->addWidget(m_usbGroup);

    connect(m_apply, &QPushButton::clicked, this, &CPage_Connect::OnApply);
}

void CPage_Connect::OnInitDialog()
{
    ApplyTexts();
}

void CPage_Connect::OnRefresh()
{
    ApplyTexts();
    // Nothing remembers the last address: every refresh loads the page again.
    m_webArea->Navigate2(ProductPageAddress(WebHost(), m_app.m_nLanguage));
}

QString CPage_Connect::ProductPageAddress(const QString& host, int language)
{
    return QStringLiteral("http://%1/pc_soft_hardware.asp?lang=%2&model=Tavo")
        .arg(host, language == 1 ? QLatin1String("FR") : QLatin1String("EN"));
}

QString CPage_Connect::WebHost() const
{
    return m_app.GetProfileString(CTavoApp::kProfileSection, QStringLiteral("WebHost"),
                                  QStringLiteral("www.ostrel.invalid"));
}

void CPage_Connect::ApplyTexts()
{
    const auto text = [this](int n) { return m_app.m_strText[static_cast<std::size_t>(n)]; };
    m_languageLabel->setText(text(1));
    m_usbGroup->setTitle(text(2));
    m_step1->setText(text(3));
    m_step2->setText(text(4));
    m_step3->setText(text(5));
    m_apply->setText(text(6));

    m_languages->clear();
    for (const QByteArray& name : SplitSlashList(m_app.m_strLangItem))
        m_languages->addItem(Utf8ToAnsi(name));
    // A language without a name in the list leaves nothing selected.
    m_languages->setCurrentIndex(m_app.m_nLanguage < m_languages->count() ? m_app.m_nLanguage : -1);
}

void CPage_Connect::OnApply()
{
    m_app.m_nLanguage = m_languages->currentIndex();
    m_app.WriteProfileInt(CTavoApp::kProfileSection, QStringLiteral("Language"), m_app.m_nLanguage);
    // A language whose texts are missing or incomplete keeps (part of) the previous ones.
    m_app.LoadUIText(m_app.m_nLanguage);
    m_sheet.OnRetitle();
    Invalidate();
}
