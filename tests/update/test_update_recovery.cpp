// The firmware recovery page against an in-process virtual unit (its packet trace) and a real
// FTP server on 127.0.0.1, with file dialogs and message boxes answered by recorders.

#include "FtpServer.h"
#include "PageTestKit.h"
#include "TempHome.h"
#include "UnitFixture.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "link/SheetState.h"
#include "platform/Clock.h"
#include "platform/FileDialog.h"
#include "platform/FileDialogRecorder.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CProptySheet.h"
#include "update/CPage_Reset.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <tavo/ContentFile.h>

using namespace pagetest;
using namespace Qt::StringLiterals;

namespace {

constexpr int kFirmwarePackets = 1024;
const QString kBinFilter = QStringLiteral("Bin File(*.bin) |*.bin||");

// The opening packet of every firmware write: "$WFE", address 0, 65,536 bytes, 1,024 packets.
const QString kOpeningHex = QStringLiteral("24 57 46 45 00 00 00 00 00 00 01 00 00 04 00 00");

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the unit receives for a file: its first 65,536 bytes in whole 64-byte packets, every
// packet that cannot be read whole being zeros.
QByteArray ExpectedImage(const QByteArray& file)
{
    QByteArray image = file.left(file.size() / 64 * 64).left(65536);
    image.append(65536 - image.size(), '\0');
    return image;
}

} // namespace

class TestUpdateRecovery final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controlsAndModes();
    void binFilter_data();
    void binFilter();
    void browse();
    void refusedBeforeTheWorker_data();
    void refusedBeforeTheWorker();
    void imagesOnTheWire_data();
    void imagesOnTheWire();
    void workerFailures_data();
    void workerFailures();
    void pageGoneBeforeTheEnd();
    void recoveryThenReplug_data();
    void recoveryThenReplug();
    void pageRemovedWhileADialogIsOpen_data();
    void pageRemovedWhileADialogIsOpen();

private:
    void OpenPage();
    template <typename T = QWidget> T* Control(int id) const
    {
        return m_page->findChild<T*>(QString::number(id));
    }
    bool UpdateEnabled() const { return Control<QPushButton>(1059)->isEnabled(); }
    int Bar() const { return Control<QProgressBar>(1060)->value(); }
    // Switches to Manual and chooses path with Browse.
    void ChooseFile(const QString& path);
    // Waits until the recovery worker has ended and what it posted has run.
    void WaitForWorker();
    QString WorkFile(const QString& name) const { return m_work.filePath(name); }
    Packets Sent() const { return m_unit->sentPackets(); }

    std::unique_ptr<testsupport::TempHome> m_home;
    QTemporaryDir m_serverRoot;
    QTemporaryDir m_work;
    std::unique_ptr<testsupport::FtpServer> m_server;
    std::unique_ptr<testsupport::UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    std::unique_ptr<platform::FileDialogRecorder> m_dialogs;
    std::unique_ptr<SheetState> m_state;
    QPointer<CPage_Reset> m_page;
};

void TestUpdateRecovery::initTestCase()
{
    m_home = std::make_unique<testsupport::TempHome>();
    // The server has no firmware file: downloads from it fail.
    m_server = std::make_unique<testsupport::FtpServer>(m_serverRoot.path());
    QString error;
    QVERIFY2(m_server->start(&error), qPrintable(error));
}

void TestUpdateRecovery::init()
{
    PrepareApp();
    SetUpdateServer(m_server->url(QStringLiteral("/down/fw/Tavo")));
    m_unit = std::make_unique<testsupport::UnitFixture>();
    m_boxes = std::make_unique<platform::MessageBoxRecorder>();
    m_dialogs = std::make_unique<platform::FileDialogRecorder>();
    m_state = std::make_unique<SheetState>();
    m_state->m_identity.bootMode = true;
    m_state->SetFlagsChangedHandler([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_page)
                    m_page->ApplyEnableRule();
            },
            Qt::QueuedConnection);
    });
}

void TestUpdateRecovery::cleanup()
{
    if (m_page) {
        QVERIFY(QTest::qWaitFor([this] { return !m_page->WorkerRunning(); }, 20000));
        delete m_page.data();
    }
    QTRY_COMPARE(m_state->m_bDeviceBusy.load(), 0);
    QCoreApplication::processEvents();
    m_state->SetFlagsChangedHandler({});
    m_state.reset();
    m_dialogs.reset();
    m_boxes.reset();
    m_unit.reset();
}

void TestUpdateRecovery::OpenPage()
{
    m_page = new CPage_Reset(*m_state);
    m_page->show();
    QVERIFY(m_page->IsInitialised());
}

void TestUpdateRecovery::ChooseFile(const QString& path)
{
    QTest::mouseClick(Control<QRadioButton>(1069), Qt::LeftButton);
    QTRY_VERIFY(Control<QPushButton>(1016)->isVisible());
    m_dialogs->setNextFileName(path);
    QTest::mouseClick(Control<QPushButton>(1016), Qt::LeftButton);
    QCOMPARE(m_page->ChosenPath(), path);
}

void TestUpdateRecovery::WaitForWorker()
{
    QVERIFY(QTest::qWaitFor([this] { return !m_page->WorkerRunning(); }, 20000));
    QTRY_COMPARE(m_state->m_bDeviceBusy.load(), 0);
    QCoreApplication::processEvents();
}

void TestUpdateRecovery::controlsAndModes()
{
    OpenPage();
    for (int id :
         {1070, 1068, 1069, 1058, 1061, 1062, 1063, 1064, 1065, 1066, 1067, 1021, 1016, 1059, 1060})
        QVERIFY2(Control(id), qPrintable(QString::number(id)));
    QCOMPARE(Control<QGroupBox>(1070)->title(), UiText(127));
    QCOMPARE(Control<QRadioButton>(1068)->text(), UiText(128));
    QCOMPARE(Control<QRadioButton>(1069)->text(), UiText(129));
    QCOMPARE(Control<QGroupBox>(1058)->title(), UiText(130));
    QCOMPARE(Control<QPushButton>(1016)->text(), UiText(144));
    QCOMPARE(Control<QPushButton>(1059)->text(), UiText(145));
    QCOMPARE(Bar(), 0);
    QVERIFY(UpdateEnabled());
    QVERIFY(!Control<QLineEdit>(1021)->isEnabled());

    const auto lines = [this] {
        QStringList texts;
        for (int id = 1061; id <= 1067; ++id)
            texts << Control<QLabel>(id)->text();
        return texts;
    };
    const QStringList autoLines{UiText(131), UiText(132), UiText(133),        UiText(134),
                                UiText(135), UiText(136), QStringLiteral(" ")};
    const QStringList manualLines{UiText(137), UiText(138), UiText(139), UiText(140),
                                  UiText(141), UiText(142), UiText(143)};

    QVERIFY(Control<QRadioButton>(1068)->isChecked());
    QCOMPARE(lines(), autoLines);
    QVERIFY(!Control<QLineEdit>(1021)->isVisible());
    QVERIFY(!Control<QPushButton>(1016)->isVisible());

    QTest::mouseClick(Control<QRadioButton>(1069), Qt::LeftButton);
    QTRY_COMPARE(lines(), manualLines);
    QVERIFY(Control<QLineEdit>(1021)->isVisible());
    QVERIFY(Control<QPushButton>(1016)->isVisible());

    QTest::mouseClick(Control<QRadioButton>(1068), Qt::LeftButton);
    QTRY_COMPARE(lines(), autoLines);
    QVERIFY(!Control<QLineEdit>(1021)->isVisible());
    QVERIFY(!Control<QPushButton>(1016)->isVisible());

    // The enable rule: connected, not busy, not reprogrammed.
    theApp().m_bConnected = 0;
    m_page->ApplyEnableRule();
    QVERIFY(!UpdateEnabled());
    theApp().m_bConnected = 1;
    m_state->SetDeviceBusy(true);
    QTRY_VERIFY(!UpdateEnabled());
    m_state->SetDeviceBusy(false);
    QTRY_VERIFY(UpdateEnabled());
    m_state->SetReprogrammed(true);
    QTRY_VERIFY(!UpdateEnabled());
}

void TestUpdateRecovery::binFilter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("nameFilters");

    QTest::newRow("firmware") << kBinFilter << QStringList{u"Bin File (*.bin)"_s};
    QTest::newRow("two pairs, two patterns")
        << "Images|*.ibn|Any (*.*)|*.bin;*.tbn||"
        << QStringList{u"Images (*.ibn)"_s, u"Any (*.bin *.tbn)"_s};
    QTest::newRow("nothing") << "" << QStringList{};
}

void TestUpdateRecovery::binFilter()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, nameFilters);
    QCOMPARE(platform::NameFiltersOf(filter), nameFilters);
}

void TestUpdateRecovery::browse()
{
    OpenPage();
    QTest::mouseClick(Control<QRadioButton>(1069), Qt::LeftButton);
    QTRY_VERIFY(Control<QPushButton>(1016)->isVisible());

    // Cancelled with nothing chosen before: nothing to program.
    QTest::mouseClick(Control<QPushButton>(1016), Qt::LeftButton);
    QCOMPARE(m_page->ChosenPath(), QString());
    QCOMPARE(m_page->FileToProgram(), QString());

    const QString first = WorkFile(QStringLiteral("first.bin"));
    m_dialogs->setNextFileName(first);
    QTest::mouseClick(Control<QPushButton>(1016), Qt::LeftButton);
    QCOMPARE(Control<QLineEdit>(1021)->text(), first);
    QCOMPARE(m_page->FileToProgram(), first);

    // Cancelling keeps the previous choice and copies it again into the file to program.
    m_dialogs->setNextCancel();
    QTest::mouseClick(Control<QPushButton>(1016), Qt::LeftButton);
    QCOMPARE(Control<QLineEdit>(1021)->text(), first);
    QCOMPARE(m_page->FileToProgram(), first);

    const QList<platform::FileDialogRequest> requests = m_dialogs->requests();
    QCOMPARE(requests.size(), 3);
    for (const platform::FileDialogRequest& r : requests) {
        QCOMPARE(r.mode, platform::FileDialogMode::Open);
        QCOMPARE(r.filter, kBinFilter);
        QCOMPARE(r.defaultName, QString());
        QVERIFY(r.fileMustExist);
    }
    // The path is shown again after a refresh (another paint).
    m_page->RefreshNow();
    QCOMPARE(Control<QLineEdit>(1021)->text(), first);
}

void TestUpdateRecovery::refusedBeforeTheWorker_data()
{
    QTest::addColumn<bool>("bootMode");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("counters");

    QTest::newRow("unit in normal mode")
        << false << false << "" << QStringList{u"Error[7001]"_s} << QStringList{} << QStringList{};
    QTest::newRow("manual, no file chosen")
        << true << true << "" << QStringList{} << QStringList{u"$RH"_s} << QStringList{};
    QTest::newRow("auto, download fails")
        << true << false << "" << QStringList{} << QStringList{u"$RH"_s} << QStringList{u"1 / 1"_s};
    QTest::newRow("$RH without acknowledge")
        << true << false << "nak" << QStringList{u"Error[9003]"_s} << QStringList{u"$RH"_s}
        << QStringList{};
    QTest::newRow("unit gone") << true << false << "unplugged" << QStringList{u"Error[9001]"_s}
                               << QStringList{} << QStringList{};
}

void TestUpdateRecovery::refusedBeforeTheWorker()
{
    QFETCH(bool, bootMode);
    QFETCH(bool, manual);
    QFETCH(QString, setup);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, counters);

    m_state->m_identity.bootMode = bootMode;
    if (setup == QStringLiteral("nak"))
        m_unit->unit().injectFault(tavo::FaultKind::Nak);
    else if (setup == QStringLiteral("unplugged"))
        m_unit->unit().unplug();
    OpenPage();
    if (manual) {
        QTest::mouseClick(Control<QRadioButton>(1069), Qt::LeftButton);
        QTRY_VERIFY(!m_page->IsAutoMode());
    }

    DownloadStepper stepper;
    QTest::mouseClick(Control<QPushButton>(1059), Qt::LeftButton);
    QCOMPARE(m_boxes->texts(), boxes);
    QCOMPARE(Describe(Sent()), sent);
    QCOMPARE(stepper.counters(), counters);
    if (!counters.isEmpty())
        QCOMPARE(m_page->DownloadUrl(),
                 m_server->url(QStringLiteral("/down/fw/Tavo/FW/TavoFw.bin")));
    QVERIFY(!m_page->WorkerRunning());
    QCOMPARE(m_state->m_bDeviceBusy.load(), 0);
    QCOMPARE(m_state->m_bReprogrammed.load(), 0);
    QTRY_VERIFY(UpdateEnabled());
}

void TestUpdateRecovery::imagesOnTheWire_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("65,536 bytes: the whole file") << 65536;
    QTest::newRow("1,000 bytes: 15 packets, then zeros") << 1000;
    QTest::newRow("70,000 bytes: the first 65,536") << 70000;
}

void TestUpdateRecovery::imagesOnTheWire()
{
    QFETCH(int, size);
    const QByteArray file = PatternBytes(size, static_cast<std::uint32_t>(size));
    const QString path = WorkFile(QStringLiteral("image.bin"));
    QVERIFY(WriteFile(path, file));
    OpenPage();
    ChooseFile(path);

    // The link stays busy while the notice is open.
    bool busyWhileOpen = false;
    int barWhileOpen = -1;
    m_boxes->setOnShow([&](const platform::MessageBoxRecorder::Shown&) {
        busyWhileOpen = m_state->m_bDeviceBusy.load() != 0;
        barWhileOpen = Bar();
    });
    QTest::mouseClick(Control<QPushButton>(1059), Qt::LeftButton);
    QCOMPARE(m_state->m_bReprogrammed.load(), 1);
    WaitForWorker();

    QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
    QCOMPARE(m_boxes->shown().at(0).caption, QStringLiteral(" "));
    QVERIFY(busyWhileOpen);
    QCOMPARE(barWhileOpen, 100);
    QCOMPARE(Bar(), 100);
    QVERIFY(!UpdateEnabled());

    const Packets sent = Sent();
    QCOMPARE(Describe(sent), (QStringList{QStringLiteral("$RH"),
                                          QStringLiteral("$WFE 00000000 65536 1024 +1024")}));
    QCOMPARE(sent.size(), std::size_t{2 + kFirmwarePackets});
    QCOMPARE(testsupport::hexBytes(sent[1], 16), kOpeningHex);
    QCOMPARE(testsupport::hexBytes(std::vector<std::uint8_t>(sent[1].begin() + 16, sent[1].end())),
             QStringList(48, QStringLiteral("00")).join(QLatin1Char(' ')));
    QCOMPARE(StreamData(sent, 1), ExpectedImage(file));
}

void TestUpdateRecovery::workerFailures_data()
{
    QTest::addColumn<int>("fileSize");
    // Packets the unit takes before its writes fail, the $RH probe counted (0: no fault).
    QTest::addColumn<int>("writesBeforeFailure");
    QTest::addColumn<bool>("fileRemoved");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("dataPackets");
    QTest::addColumn<int>("bar");

    QTest::newRow("file gone after Browse") << 65536 << 0 << true << "Error[7003]" << -1 << 0;
    QTest::newRow("opening packet not sent") << 65536 << 1 << false << "Error[7004]" << -1 << 0;
    // The bar shows (packets sent × 100) >> 10.
    QTest::newRow("after packet 1") << 65536 << 3 << false << "Error[7005]" << 1 << 0;
    QTest::newRow("after packet 10") << 65536 << 12 << false << "Error[7005]" << 10 << 0;
    QTest::newRow("after packet 11") << 65536 << 13 << false << "Error[7005]" << 11 << 1;
    QTest::newRow("after packet 512") << 65536 << 514 << false << "Error[7005]" << 512 << 50;
    QTest::newRow("after packet 1023") << 65536 << 1025 << false << "Error[7005]" << 1023 << 99;
    QTest::newRow("zero packet not sent") << 1000 << 21 << false << "Error[7006]" << 19 << 1;
}

void TestUpdateRecovery::workerFailures()
{
    QFETCH(int, fileSize);
    QFETCH(int, writesBeforeFailure);
    QFETCH(bool, fileRemoved);
    QFETCH(QString, code);
    QFETCH(int, dataPackets);
    QFETCH(int, bar);

    const QString path = WorkFile(QStringLiteral("failing.bin"));
    QVERIFY(WriteFile(path, PatternBytes(fileSize, 3)));
    OpenPage();
    ChooseFile(path);
    if (fileRemoved)
        QVERIFY(QFile::remove(path));
    if (writesBeforeFailure > 0)
        m_unit->unit().injectFault(tavo::FaultKind::WriteFail,
                                   static_cast<std::uint32_t>(writesBeforeFailure));

    QTest::mouseClick(Control<QPushButton>(1059), Qt::LeftButton);
    WaitForWorker();

    QCOMPARE(m_boxes->texts(), QStringList{code});
    QCOMPARE(Bar(), bar);
    const Packets sent = Sent();
    QCOMPARE(Describe(sent).first(), QStringLiteral("$RH"));
    if (dataPackets < 0) {
        QCOMPARE(sent.size(), std::size_t{1});
    } else {
        QCOMPARE(Describe(sent).at(1),
                 QStringLiteral("$WFE 00000000 65536 1024 +%1").arg(dataPackets));
    }
    // A failed worker frees the link, but the unit must be plugged in again before another try.
    QCOMPARE(m_state->m_bReprogrammed.load(), 1);
    QTRY_VERIFY(!UpdateEnabled());
}

void TestUpdateRecovery::pageGoneBeforeTheEnd()
{
    const QString path = WorkFile(QStringLiteral("image.bin"));
    QVERIFY(WriteFile(path, PatternBytes(65536, 11)));
    OpenPage();
    ChooseFile(path);
    bool pageGoneWhileOpen = false;
    m_boxes->setOnShow([&](const platform::MessageBoxRecorder::Shown&) {
        delete m_page.data();
        pageGoneWhileOpen = m_page.isNull();
    });
    QTest::mouseClick(Control<QPushButton>(1059), Qt::LeftButton);
    QTRY_COMPARE(m_state->m_bDeviceBusy.load(), 0);
    QVERIFY(pageGoneWhileOpen);
    QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
    QCOMPARE(Sent().size(), std::size_t{2 + kFirmwarePackets});
}

void TestUpdateRecovery::recoveryThenReplug_data()
{
    QTest::addColumn<bool>("fromServer");
    QTest::newRow("from the server") << true;
    QTest::newRow("from a chosen file") << false;
}

void TestUpdateRecovery::recoveryThenReplug()
{
    QFETCH(bool, fromServer);

    // A firmware image the unit recognises, newer than the one it holds.
    QTemporaryDir root;
    const QString fwDir = root.filePath(QStringLiteral("down/fw/Tavo/FW"));
    QVERIFY(QDir().mkpath(fwDir));
    const QString image = fwDir + QStringLiteral("/TavoFw.bin");
    tavo::ContentFileSpec spec;
    spec.kind = tavo::ContentFileKind::Firmware;
    spec.version = 8123;
    spec.size = 65536;
    std::string error;
    QVERIFY2(tavo::SaveContentFile(spec, image.toStdString(), &error), error.c_str());
    testsupport::FtpServer server(root.path());
    QString serverError;
    QVERIFY2(server.start(&serverError), qPrintable(serverError));
    SetUpdateServer(server.url(QStringLiteral("/down/fw/Tavo")));

    // The unit is plugged in with its POI button held: boot mode.
    m_unit->unit().unplug();
    m_unit->unit().setBootButton(true);
    m_unit->unit().plug();
    theApp().m_bConnected = 0;
    CProptySheet sheet(theApp());
    theApp().m_pSheet = &sheet;
    sheet.Timers().SetManual(true);
    sheet.show();
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    QVERIFY(sheet.m_identity.bootMode);
    QVERIFY(!sheet.Page(CProptySheet::PageId::Update));
    m_page = qobject_cast<CPage_Reset*>(sheet.Page(CProptySheet::PageId::Reset));
    QVERIFY(m_page);
    QCOMPARE(sheet.ActivePosition(), theApp().m_nPageReset);
    QVERIFY(m_page->isVisible());
    QVERIFY(UpdateEnabled());

    if (!fromServer)
        ChooseFile(image);
    {
        // 1 January 2009, 00:05:00.007.
        const platform::FixedClock clock(platform::LocalTime{2009, 1, 1, 0, 5, 0, 7});
        DownloadStepper stepper;
        QTest::mouseClick(Control<QPushButton>(1059), Qt::LeftButton);
        QCOMPARE(stepper.counters(), fromServer ? QStringList{u"1 / 1"_s} : QStringList{});
    }
    if (fromServer) {
        QCOMPARE(m_page->DownloadUrl(), server.url(QStringLiteral("/down/fw/Tavo/FW/TavoFw.bin")));
        // Downloads land, and stay, in the documents folder.
        QCOMPARE(m_page->FileToProgram(),
                 m_home->documents() + QStringLiteral("/Tavo_Fw20091157.bin"));
    } else {
        QCOMPARE(m_page->FileToProgram(), image);
    }
    QVERIFY(QTest::qWaitFor([this] { return !m_page->WorkerRunning(); }, 20000));
    QTRY_COMPARE(sheet.m_bDeviceBusy.load(), 0);
    QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
    QVERIFY(QFile::exists(m_page->FileToProgram()));
    const Packets sent = Sent();
    QCOMPARE(StreamData(sent, FindStream(sent, "$WFE")), ReadAll(image));
    QTRY_VERIFY(!UpdateEnabled());
    // The sheet's own polling does not bring the button back while the unit stays.
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    QTRY_VERIFY(!UpdateEnabled());

    // Unplugged, POI button released, plugged in again: the unit runs its new firmware.
    m_unit->unit().unplug();
    m_unit->unit().setBootButton(false);
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    m_unit->unit().plug();
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    QVERIFY(!sheet.m_identity.bootMode);
    QCOMPARE(sheet.m_identity.fwVersion, 8123);
    QVERIFY(sheet.Page(CProptySheet::PageId::Update));
    m_page = qobject_cast<CPage_Reset*>(sheet.Page(CProptySheet::PageId::Reset));
    sheet.SetActivePage(theApp().m_nPageReset);
    QVERIFY(m_page->isVisible());
    QTRY_VERIFY(UpdateEnabled());
    m_page = nullptr;
    theApp().m_pSheet = nullptr;
}

void TestUpdateRecovery::pageRemovedWhileADialogIsOpen_data()
{
    QTest::addColumn<bool>("browse");
    QTest::newRow("Error[7001] box") << false;
    QTest::newRow("Browse dialog") << true;
}

void TestUpdateRecovery::pageRemovedWhileADialogIsOpen()
{
    QFETCH(bool, browse);

    // The real message boxes and file dialogs, which the page's removal must not take along.
    m_boxes.reset();
    m_dialogs.reset();
    theApp().m_bConnected = 0;
    CProptySheet sheet(theApp());
    sheet.Timers().SetManual(true);
    sheet.show();
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    sheet.SetActivePage(theApp().m_nPageReset);
    const QPointer<CPage_Reset> page =
        qobject_cast<CPage_Reset*>(sheet.Page(CProptySheet::PageId::Reset));
    QVERIFY(page);
    auto* manual = page->findChild<QRadioButton*>(QStringLiteral("1069"));
    auto* button = page->findChild<QPushButton*>(browse ? u"1016"_s : u"1059"_s);
    if (browse) {
        QTest::mouseClick(manual, Qt::LeftButton);
        QTRY_VERIFY(button->isVisible());
    }

    m_unit->unit().clearTrace();
    // While the dialog is open the unit goes away and the sheet rebuilds its pages.
    QString seen;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !seen.isEmpty())
            return;
        seen = QString::fromLatin1(dialog->metaObject()->className());
        m_unit->unit().unplug();
        sheet.OnTimer(CProptySheet::kDetectionTimer);
        dialog->reject();
    });
    watcher.start(10);
    QTest::mouseClick(button, Qt::LeftButton);
    watcher.stop();

    QCOMPARE(seen, browse ? u"QFileDialog"_s : u"QMessageBox"_s);
    // The handler has come back to a page that left the tab set; it goes at the next tick.
    QVERIFY(sheet.Page(CProptySheet::PageId::Reset));
    QVERIFY(sheet.Page(CProptySheet::PageId::Reset) != page.data());
    QVERIFY(!sheet.Page(CProptySheet::PageId::Update));
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    QVERIFY(page.isNull());
    QVERIFY(Sent().empty());
}

QTEST_MAIN(TestUpdateRecovery)
#include "test_update_recovery.moc"
