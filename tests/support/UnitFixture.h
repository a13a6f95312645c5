#pragma once

#include <QTemporaryDir>
#include <QtGlobal>
#include <memory>
#include <tavo/VirtualUnit.h>

namespace testsupport {

// A virtual unit on a temporary socket with a fresh state folder, serving in this process.
// While it lives, TAVO_UNIT_SOCKET points the USB library at it, so tests reach it through
// the same dlopen path that the program takes. A paced unit takes packets no faster than
// full-speed USB, so that a firmware stream lasts about 54 ms.
class UnitFixture
{
public:
    explicit UnitFixture(bool plugged = true, int checkDelayMs = 0, bool paced = false)
    {
        m_options = {
            socketPath().toStdString(), stateDir().toStdString(), {}, paced, plugged, checkDelayMs};
        qputenv("TAVO_UNIT_SOCKET", m_options.socketPath.c_str());
        std::string error;
        if (!restart(&error))
            qFatal("virtual unit did not start: %s", error.c_str());
    }
    ~UnitFixture()
    {
        m_unit->stop();
        qunsetenv("TAVO_UNIT_SOCKET");
    }
    UnitFixture(const UnitFixture&) = delete;
    UnitFixture& operator=(const UnitFixture&) = delete;

    tavo::VirtualUnit& unit() { return *m_unit; }
    tavo::VirtualUnit* operator->() { return m_unit.get(); }
    QString stateDir() const { return m_dir.filePath(QStringLiteral("state")); }
    QString socketPath() const { return m_dir.filePath(QStringLiteral("unit.sock")); }
    // Packets the host sent to the unit since the last clear, answers left out.
    std::vector<std::vector<std::uint8_t>> sentPackets() const
    {
        std::vector<std::vector<std::uint8_t>> result;
        for (const tavo::TracedPacket& p : m_unit->trace()) {
            if (p.direction == tavo::Direction::ToUnit)
                result.push_back(p.bytes);
        }
        return result;
    }

    // Stops the unit and starts a new one on the same state folder (a power cycle).
    bool restart(std::string* error = nullptr)
    {
        if (m_unit)
            m_unit->stop();
        m_unit = std::make_unique<tavo::VirtualUnit>(m_options);
        return m_unit->start(error);
    }

private:
    QTemporaryDir m_dir;
    tavo::UnitOptions m_options;
    std::unique_ptr<tavo::VirtualUnit> m_unit;
};

} // namespace testsupport
