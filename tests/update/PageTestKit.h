#pragma once

// What the tests of the update wizard and the recovery page share: the application object set
// up for a page, a stand-in for the download dialog's timer, a reading of the unit's trace in
// the protocol's own terms, and small file helpers.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

class DnProgress;
class QWidget;

namespace pagetest {

using Packets = std::vector<std::vector<std::uint8_t>>;

// Fills the application object's texts with "ui-NNN" (so a test sees which text a control got),
// except the three lists 38 to 40, which get the shipped English names; selects the profile
// (under the temporary HOME the test has set up) and clears "OnUpdate" and "UpdateServer".
void PrepareApp();
// The text PrepareApp gave UI text n.
QString UiText(int n);

// The profile value "OnUpdate" (-1 when missing).
int OnUpdateValue();
// Points the profile string "UpdateServer" at base.
void SetUpdateServer(const QString& base);

// Stands in for the download dialog's 1,000 ms timer while a dialog runs modally: ticks timer
// 11001 every few milliseconds, and records each download as it appears.
class DownloadStepper final : public QObject
{
public:
    struct Seen
    {
        QString url;
        QString counter;    // the dialog's counter text, "1 / 4"
        QString pageStatus; // what probe returned when the dialog appeared
    };

    // probe, when given, is asked for the page's status text as each dialog appears.
    explicit DownloadStepper(std::function<QString()> probe = {});

    QList<Seen> seen() const { return m_seen; }
    QStringList urls() const;
    QStringList counters() const;

private:
    void Step();

    std::function<QString()> m_probe;
    QTimer m_timer;
    QPointer<DnProgress> m_current;
    QList<Seen> m_seen;
};

// The host's packets read as the protocol frames them: a command as its three letters ("$BT",
// "$RH", "$WB"); a stream header as "$WDS <address hex> <length> <count>" or "$WFE ...",
// followed by " +<n>" with the number of data packets that came after it (at most count).
QStringList Describe(const Packets& sent);

// The data packets that followed the stream header at position header in sent, joined.
QByteArray StreamData(const Packets& sent, std::size_t header);
// Position of the first stream header whose four letters are command ("$WDS", "$WFE"), from
// position from; sent.size() when there is none.
std::size_t FindStream(const Packets& sent, const char* command, std::size_t from = 0);

// size bytes that depend only on seed.
QByteArray PatternBytes(int size, std::uint32_t seed);
bool WriteFile(const QString& path, const QByteArray& bytes);

// The colour in the middle of a label's pixmap (invalid without one).
QColor PixmapColour(const QWidget* label);

} // namespace pagetest
