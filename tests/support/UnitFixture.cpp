#include "UnitFixture.h"

#include <QtTest>

namespace testsupport {

UnitFixture::UnitFixture(bool plugged, int checkDelayMs, bool paced)
{
    m_options.paced = paced;
    m_options.socketPath = socketPath().toStdString();
    m_options.stateDir = stateDir().toStdString();
    m_options.startPlugged = plugged;
    m_options.checkDelayMs = checkDelayMs;
    qputenv("TAVO_UNIT_SOCKET", m_options.socketPath.c_str());
    m_unit = std::make_unique<tavo::VirtualUnit>(m_options);
    std::string error;
    if (!m_unit->start(&error))
        qFatal("virtual unit did not start: %s", error.c_str());
}

UnitFixture::~UnitFixture()
{
    m_unit->stop();
    qunsetenv("TAVO_UNIT_SOCKET");
}

std::vector<std::vector<std::uint8_t>> UnitFixture::sentPackets() const
{
    std::vector<std::vector<std::uint8_t>> result;
    for (const tavo::TracedPacket& p : m_unit->trace()) {
        if (p.direction == tavo::Direction::ToUnit)
            result.push_back(p.bytes);
    }
    return result;
}

bool UnitFixture::restart()
{
    m_unit->stop();
    m_unit = std::make_unique<tavo::VirtualUnit>(m_options);
    return m_unit->start();
}

QString hexBytes(const std::vector<std::uint8_t>& bytes, std::size_t count)
{
    QStringList parts;
    for (std::size_t i = 0; i < bytes.size() && i < count; ++i)
        parts.append(QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper());
    return parts.join(QLatin1Char(' '));
}

} // namespace testsupport
