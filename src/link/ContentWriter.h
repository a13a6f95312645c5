#pragma once

#include "link/ContentKind.h"
#include "link/TransferProgress.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>

class SheetFlags;

// The five codes a page shows for the ways one transfer can fail.
struct TransferErrorCodes
{
    int emptyPath = 0;      // no file to program
    int openFailed = 0;     // the file cannot be opened for reading
    int openingNotSent = 0; // the opening packet cannot be written
    int dataNotSent = 0;    // a data packet read whole from the file cannot be written
    int shortRead = 0;      // content: fewer than 64 bytes read inside the file's blocks;
                            // firmware: a zero packet after the end of the file not written
};

// The update wizard's codes for each kind, and the recovery page's for its firmware.
TransferErrorCodes UpdateWizardCodes(ContentKind kind);
inline constexpr TransferErrorCodes kRecoveryFirmwareCodes{7002, 7003, 7004, 7005, 7006};

// Everything a programming worker needs, copied into the worker when it starts. Nothing in it
// points at the page that started the worker: the page may be gone before the worker ends.
struct TransferJob
{
    // The file to program, read once when the worker starts.
    QString filePath;
    // The kind: its unit address and its done flag. WriteFirmwareFile always programs
    // ContentKind::Firmware.
    ContentKind kind = ContentKind::Db;
    TransferErrorCodes codes;
    // Shared with the page; must not be null.
    std::shared_ptr<TransferProgress> progress;
    // The main sheet's busy flags (SheetState::Flags()), whose m_bDeviceBusy a failure
    // clears; shared, because the sheet may be gone before the worker ends. May be null
    // (benchmarks, tests of the transfer alone).
    std::shared_ptr<SheetFlags> sheetFlags;
    // Firmware only: run on the worker thread after the done flag was set. It may show a box
    // through the message-box service; widget work must be posted to the user-interface
    // thread, guarded against the page being gone.
    std::function<void()> onComplete;
    // Optional: run on the worker thread after each data packet, with the new percent.
    std::function<void(std::uint32_t)> onPercent;
    // Set by WorkerThread: once a stop is requested, no further packet is sent.
    std::stop_token stop;
};

// Streams a content file (DB, voice or image) into the unit: the "$WDS" opening packet with
// the kind's address, the file's length and its count of whole 64-byte blocks, then the
// blocks. Returns 1 with percent 100 and the kind's done flag set, or 0 after showing the
// failing step's code, clearing the sheet's busy flag and setting the error flag. A stop
// request ends it before its next packet as a failure that shows nothing.
int WriteContentFile(TransferJob job);

// Streams a firmware image into the unit: the "$WFE" opening packet, then exactly 1,024
// packets of the file's first 65,536 bytes, a packet that cannot be read whole going out as
// 64 zero bytes. On success sets percent 100 and the firmware done flag, runs onComplete and
// returns 1; fails as WriteContentFile does.
int WriteFirmwareFile(TransferJob job);
