#include "Commands.h"
#include "tavo/UnitControl.h"

#include <cstdio>

namespace tavo::cli {

int Control(Arguments& args)
{
    std::optional<std::string> socket;
    if (!args.takeValue("--socket", socket))
        return Fail(2, "ctl: --socket lacks its path");
    if (args.rest().empty())
        return Fail(
            2,
            "ctl: say what to do: plug, unplug, boot on|off, status, fault KIND [N], poi-seed N");
    std::string line;
    for (const std::string& word : args.rest())
        line += (line.empty() ? "" : " ") + word;

    std::string answer, error;
    if (!SendControlLine(socket ? *socket : DefaultUnitSocketPath(), line, answer, &error))
        return Fail(1, error);
    if (answer.rfind("error:", 0) == 0) {
        std::fputs(answer.c_str(), stderr);
        return 1;
    }
    std::fputs(answer.c_str(), stdout);
    return 0;
}

} // namespace tavo::cli
