#include "tavo/VirtualUnit.h"

#include "ControlLine.h"
#include "UnitDevice.h"
#include "UnitServer.h"

#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace tavo {

class VirtualUnit::Impl
{
public:
    explicit Impl(UnitOptions opts)
        : options(std::move(opts)), device(options.stateDir, options.checkDelayMs)
    {
    }

    // Takes the packets that have arrived whole, so whatever the caller looks at or changes
    // comes after them, as it would on a unit that reads its pipe at once.
    void settle()
    {
        if (server)
            server->settle();
    }

    // Lets the serving loop act on a change made from outside it.
    void changed()
    {
        if (server)
            server->deviceChanged();
    }

    UnitOptions options;
    mutable std::mutex mutex;
    mutable std::condition_variable traceChanged;
    UnitDevice device;
    std::unique_ptr<UnitServer> server;
    std::thread thread;
    bool running = false;
};

VirtualUnit::VirtualUnit(UnitOptions options) : m_impl(std::make_unique<Impl>(std::move(options)))
{
}

VirtualUnit::~VirtualUnit()
{
    stop();
}

bool VirtualUnit::start(std::string* error)
{
    Impl& d = *m_impl;
    std::unique_lock lock(d.mutex);
    if (d.running)
        return true;
    if (!UnitServer::safeFolder(d.options.socketPath, error) || !d.device.load(error))
        return false;
    if (!d.options.traceFile.empty() && !d.device.openTrace(d.options.traceFile, error))
        return false;
    auto server = std::make_unique<UnitServer>(d.device, d.mutex, d.traceChanged, d.options.paced);
    if (!server->listen(d.options.socketPath, error))
        return false;
    d.server = std::move(server);
    if (d.options.startPlugged)
        d.device.plug();
    d.thread = std::thread([&d] { d.server->run(); });
    // Named, so that it can be told apart in top and in a debugger.
    pthread_setname_np(d.thread.native_handle(), "tavo-unit");
    d.running = true;
    return true;
}

void VirtualUnit::stop()
{
    Impl& d = *m_impl;
    {
        std::lock_guard lock(d.mutex);
        if (!d.running)
            return;
        d.running = false;
    }
    d.server->stop();
    d.thread.join();
    std::lock_guard lock(d.mutex);
    d.device.saveState();
    d.device.trace().flush();
    d.server.reset();
}

void VirtualUnit::plug()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->device.plug();
    m_impl->changed();
}

void VirtualUnit::unplug()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->settle();
    m_impl->device.unplug();
    m_impl->changed();
}

void VirtualUnit::setBootButton(bool held)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->device.setBootButton(held);
}

void VirtualUnit::injectFault(FaultKind kind, std::uint32_t afterPackets)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->settle();
    m_impl->device.injectFault(kind, afterPackets);
    m_impl->changed();
}

void VirtualUnit::clearFaults()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->settle();
    m_impl->device.clearFaults();
    m_impl->changed();
}

void VirtualUnit::setCheckDelayMs(int ms)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->device.setCheckDelayMs(ms);
}

void VirtualUnit::overrideCheckAnswer(std::optional<std::array<std::uint8_t, 3>> bytes60to62)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->device.overrideCheckAnswer(bytes60to62);
}

UnitStatus VirtualUnit::status() const
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->settle();
    return m_impl->device.status();
}

std::vector<TracedPacket> VirtualUnit::trace() const
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->settle();
    return m_impl->device.trace().packets();
}

void VirtualUnit::clearTrace()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->settle();
    m_impl->device.trace().clear();
}

bool VirtualUnit::waitForTrace(std::size_t count, int timeoutMs) const
{
    std::unique_lock lock(m_impl->mutex);
    return m_impl->traceChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this, count] {
        m_impl->settle();
        return m_impl->device.trace().size() >= count;
    });
}

std::vector<std::string> VirtualUnit::problems() const
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->settle();
    return m_impl->device.trace().problems();
}

std::string VirtualUnit::control(const std::string& commandLine)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->settle();
    std::string answer = RunControlLine(m_impl->device, commandLine);
    m_impl->changed();
    return answer;
}

std::vector<std::uint8_t> VirtualUnit::readMemory(std::uint32_t address, std::uint32_t length) const
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->settle();
    if (address >= kMemorySize)
        return {};
    length = std::min(length, kMemorySize - address);
    std::vector<std::uint8_t> bytes(length);
    m_impl->device.memory().read(address, bytes.data(), length);
    return bytes;
}

void VirtualUnit::writeMemory(std::uint32_t address, const std::vector<std::uint8_t>& bytes)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->settle();
    if (address >= kMemorySize)
        return;
    const auto length =
        static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), kMemorySize - address));
    m_impl->device.memory().write(address, bytes.data(), length);
    m_impl->device.saveState();
}

std::vector<std::uint8_t> VirtualUnit::firmware() const
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->settle();
    const std::uint8_t* bytes = m_impl->device.memory().regionBytes(Region::Firmware);
    return std::vector<std::uint8_t>(bytes, bytes + kFirmwareSize);
}

void VirtualUnit::setIdentityExtras(std::uint8_t byte63, std::uint8_t byte62, std::uint8_t byte61,
                                    std::uint8_t byte60, std::uint8_t byte57, std::uint8_t byte56)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->device.setIdentityExtras({byte63, byte62, byte61, byte60, byte57, byte56});
}

} // namespace tavo
