// Streams a 2 MB database (32,768 data packets after the opening packet) through
// WriteContentFile into the in-process virtual unit, the way the update wizard's DB worker does:
// once into an unpaced unit, then into a unit paced like a full-speed USB link (at most 19
// packets per millisecond). Prints the unpaced time and the paced throughput; the last line is
// "paced-share P", the paced throughput as a share of the pace limit (0 to 1). For scale it also
// times the same number of bare UsbWritePacket calls, which is what the link itself costs.
#include "link/ContentWriter.h"
#include "link/Packets.h"
#include "link/TransferProgress.h"
#include "link/UsbLink.h"

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <tavo/VirtualUnit.h>
#include <vector>

namespace {

constexpr std::uint32_t kFileSize = 2 * 1024 * 1024;
constexpr std::uint32_t kPackets = kFileSize / 64 + 1; // data packets and the opening packet
constexpr double kPacedLimitPerMs = 19.0;

using SteadyClock = std::chrono::steady_clock;

bool WriteDatabase(const std::string& path)
{
    std::vector<char> bytes(kFileSize);
    std::mt19937 generator(2008);
    for (char& b : bytes)
        b = static_cast<char>(generator());
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

enum class Run
{
    Unpaced,
    Paced,
    LinkOnly
};

// Seconds for the whole transfer into a fresh unit, or a negative value when it failed.
double TimeTransfer(const QTemporaryDir& dir, const std::string& file, Run run)
{
    const bool paced = run == Run::Paced;
    const std::string name = run == Run::Paced ? "paced" : run == Run::Unpaced ? "unpaced" : "link";
    tavo::UnitOptions options;
    options.socketPath = dir.filePath(QString::fromStdString(name + ".sock")).toStdString();
    options.stateDir = dir.filePath(QString::fromStdString(name)).toStdString();
    options.paced = paced;
    tavo::VirtualUnit unit(options);
    std::string error;
    if (!unit.start(&error)) {
        std::fprintf(stderr, "virtual unit: %s\n", error.c_str());
        return -1;
    }
    ::setenv("TAVO_UNIT_SOCKET", options.socketPath.c_str(), 1);

    TransferJob job;
    job.filePath = QString::fromStdString(file);
    job.kind = ContentKind::Db;
    job.codes = UpdateWizardCodes(ContentKind::Db);
    job.progress = std::make_shared<TransferProgress>();

    const auto start = SteadyClock::now();
    int result = 1;
    if (run == Run::LinkOnly) {
        // The packets the engine sends, without the file and the engine around them.
        g_cmdPacket.fill(0);
        for (std::uint32_t k = 0; k < kPackets && result == 1; ++k)
            result = UsbWritePacket() ? 1 : 0;
    } else {
        result = WriteContentFile(job);
    }
    // The transfer is over when the unit has taken the last packet.
    const bool taken = unit.waitForTrace(kPackets, 60000);
    const std::chrono::duration<double> elapsed = SteadyClock::now() - start;
    unit.stop();
    if (result != 1 || !taken) {
        std::fprintf(stderr, "%s transfer failed\n", name.c_str());
        return -1;
    }
    return elapsed.count();
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const std::string file = dir.filePath(QStringLiteral("Tavo_DB.tbn")).toStdString();
    if (!dir.isValid() || !WriteDatabase(file)) {
        std::fprintf(stderr, "cannot write the test database\n");
        return EXIT_FAILURE;
    }

    const double unpaced = TimeTransfer(dir, file, Run::Unpaced);
    const double linkOnly = TimeTransfer(dir, file, Run::LinkOnly);
    if (unpaced < 0 || linkOnly < 0)
        return EXIT_FAILURE;
    std::printf("database %u bytes, %u packets\n", kFileSize, kPackets);
    std::printf("link alone %.3f s (%.1f us/packet)\n", linkOnly, linkOnly * 1e6 / kPackets);
    std::printf("unpaced %.3f s (%.1f packets/ms)\n", unpaced, kPackets / (unpaced * 1000.0));

    const double paced = TimeTransfer(dir, file, Run::Paced);
    if (paced < 0)
        return EXIT_FAILURE;
    const double perMs = kPackets / (paced * 1000.0);
    std::printf("paced %.3f s (%.1f packets/ms, limit %.0f)\n", paced, perMs, kPacedLimitPerMs);
    std::printf("paced-share %.3f\n", perMs / kPacedLimitPerMs);
    return EXIT_SUCCESS;
}
