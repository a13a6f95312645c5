#include "link/ContentWriter.h"

#include "link/Packets.h"
#include "link/SheetState.h"
#include "link/UsbLink.h"
#include "platform/MessageBox.h"

#include <QFile>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::uint32_t kFirmwarePackets = 1024;
constexpr std::uint32_t kFirmwareLength = kFirmwarePackets * kPacketSize;

// Ends a transfer that failed at the step with code. The owner that stopped the worker is
// going away: it is told nothing.
int Fail(const TransferJob& job, int code)
{
    if (!job.stop.stop_requested())
        platform::ShowErrorCode(code);
    if (job.sheetFlags)
        job.sheetFlags->SetDeviceBusy(false);
    job.progress->error.store(1);
    return 0;
}

// Opens the file for reading byte for byte. Only regular files count: on this system a
// directory opens as a stream too, but it is no file to program.
FilePtr OpenForReading(const QString& path)
{
    FilePtr file(std::fopen(QFile::encodeName(path).constData(), "rb"));
    if (!file)
        return nullptr;
    struct stat info
    {
    };
    if (::fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode))
        return nullptr;
    return file;
}

void BuildOpeningPacket(const char* command, std::uint32_t address, std::uint32_t length,
                        std::uint32_t count)
{
    g_cmdPacket.fill(0);
    std::memcpy(g_cmdPacket.data(), command, 4);
    PutU32(g_cmdPacket, 4, address);
    PutU32(g_cmdPacket, 8, length);
    PutU32(g_cmdPacket, 12, count);
}

// Sends g_cmdPacket unless the worker was told to stop.
bool SendPacket(const TransferJob& job)
{
    return !job.stop.stop_requested() && UsbWritePacket();
}

void ReportPercent(const TransferJob& job, std::uint32_t percent)
{
    job.progress->percent.store(percent);
    if (job.onPercent)
        job.onPercent(percent);
}

} // namespace

TransferErrorCodes UpdateWizardCodes(ContentKind kind)
{
    switch (kind) {
    case ContentKind::Db:
        return {8003, 8004, 8005, 8006, 8007};
    case ContentKind::Voice:
        return {8008, 8009, 8010, 8011, 8012};
    case ContentKind::Image:
        return {8013, 8014, 8015, 8016, 8017};
    case ContentKind::Firmware:
        break;
    }
    return {8018, 8019, 8020, 8021, 8022};
}

int WriteContentFile(TransferJob job)
{
    if (job.filePath.isEmpty())
        return Fail(job, job.codes.emptyPath);
    const FilePtr file = OpenForReading(job.filePath);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return Fail(job, job.codes.openFailed);
    const long end = std::ftell(file.get());
    if (end < 0)
        return Fail(job, job.codes.openFailed);

    const auto length = static_cast<std::uint32_t>(end);
    const std::uint32_t count = length / kPacketSize;
    BuildOpeningPacket(KindInfo(job.kind).openingCommand, KindInfo(job.kind).unitAddress, length,
                       count);
    if (!SendPacket(job))
        return Fail(job, job.codes.openingNotSent);

    std::rewind(file.get());
    std::uint32_t sum = 0;
    for (std::uint32_t k = 1; k <= count; ++k) {
        if (std::fread(g_cmdPacket.data(), 1, kPacketSize, file.get()) != kPacketSize)
            return Fail(job, job.codes.shortRead);
        if (!SendPacket(job))
            return Fail(job, job.codes.dataNotSent);
        sum += 100;
        ReportPercent(job, sum / count);
    }

    job.progress->percent.store(100);
    job.progress->done[KindIndex(job.kind)].store(1);
    return 1;
}

int WriteFirmwareFile(TransferJob job)
{
    if (job.filePath.isEmpty())
        return Fail(job, job.codes.emptyPath);
    const FilePtr file = OpenForReading(job.filePath);
    if (!file)
        return Fail(job, job.codes.openFailed);

    // The image always fills the whole firmware area, whatever the file's own size.
    BuildOpeningPacket(KindInfo(ContentKind::Firmware).openingCommand, 0, kFirmwareLength,
                       kFirmwarePackets);
    if (!SendPacket(job))
        return Fail(job, job.codes.openingNotSent);

    std::rewind(file.get());
    std::uint32_t sum = 0;
    for (std::uint32_t k = 1; k <= kFirmwarePackets; ++k) {
        if (std::fread(g_cmdPacket.data(), 1, kPacketSize, file.get()) == kPacketSize) {
            if (!SendPacket(job))
                return Fail(job, job.codes.dataNotSent);
        } else {
            // Past the end of the file (a partial last chunk included) the unit gets zeros.
            g_cmdPacket.fill(0);
            if (!SendPacket(job))
                return Fail(job, job.codes.shortRead);
        }
        sum += 100;
        ReportPercent(job, sum >> 10);
    }

    job.progress->percent.store(100);
    job.progress->done[KindIndex(ContentKind::Firmware)].store(1);
    if (job.onComplete)
        job.onComplete();
    return 1;
}
