#pragma once

#include <QTemporaryDir>
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
    explicit UnitFixture(bool plugged = true, int checkDelayMs = 0, bool paced = false);
    ~UnitFixture();
    UnitFixture(const UnitFixture&) = delete;
    UnitFixture& operator=(const UnitFixture&) = delete;

    tavo::VirtualUnit& unit() { return *m_unit; }
    tavo::VirtualUnit* operator->() { return m_unit.get(); }
    QString stateDir() const { return m_dir.filePath(QStringLiteral("state")); }
    QString socketPath() const { return m_dir.filePath(QStringLiteral("unit.sock")); }
    // Packets the host sent to the unit since the last clear, answers left out.
    std::vector<std::vector<std::uint8_t>> sentPackets() const;

    // Stops the unit and starts a new one on the same state folder (a power cycle).
    bool restart();

private:
    QTemporaryDir m_dir;
    tavo::UnitOptions m_options;
    std::unique_ptr<tavo::VirtualUnit> m_unit;
};

// The first count bytes of a packet as "24 52 44 00 ..." for readable comparisons.
QString hexBytes(const std::vector<std::uint8_t>& bytes, std::size_t count = 64);

} // namespace testsupport
