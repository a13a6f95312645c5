#include "Commands.h"
#include "tavo/UnitControl.h"
#include "tavo/VirtualUnit.h"

#include <csignal>
#include <cstdio>

namespace tavo::cli {

int Serve(Arguments& args)
{
    std::optional<std::string> socket, state, trace, pace, checkDelay;
    if (!args.takeValue("--socket", socket) || !args.takeValue("--state", state) ||
        !args.takeValue("--trace", trace) || !args.takeValue("--pace", pace) ||
        !args.takeValue("--check-delay", checkDelay))
        return Fail(2, "serve: an option lacks its value");
    const bool unplugged = args.takeFlag("--unplugged");
    if (!args.rest().empty())
        return Fail(2, "serve: unexpected '" + args.rest().front() + "'");
    if (!state)
        return Fail(2, "serve: --state DIR is required");
    if (pace && *pace != "usb-full-speed")
        return Fail(2, "serve: the only pace is usb-full-speed");

    UnitOptions options;
    options.socketPath = socket ? *socket : DefaultUnitSocketPath();
    options.stateDir = *state;
    options.traceFile = trace.value_or("");
    options.paced = pace.has_value();
    options.startPlugged = !unplugged;
    if (checkDelay) {
        unsigned long ms = 0;
        if (!ParseNumber(*checkDelay, 24UL * 3600 * 1000, ms))
            return Fail(2, "serve: --check-delay takes milliseconds");
        options.checkDelayMs = static_cast<int>(ms);
    }

    // The serving thread inherits this mask, so the signals reach only the sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    VirtualUnit unit(options);
    std::string error;
    if (!unit.start(&error))
        return Fail(1, error);
    std::printf("tavo-unit: serving on %s (state in %s)\n", options.socketPath.c_str(),
                options.stateDir.c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    unit.stop();
    return 0;
}

} // namespace tavo::cli
