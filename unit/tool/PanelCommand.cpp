#include "Commands.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace tavo::cli {
namespace {

// The panel is a Qt program of its own, installed beside this one.
constexpr const char* kPanelName = "tavo-unit-panel";

std::string PanelPath()
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return kPanelName;
    std::string path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + kPanelName;
}

} // namespace

int Panel(Arguments& args)
{
    std::optional<std::string> socket;
    if (!args.takeValue("--socket", socket))
        return Fail(2, "panel: --socket lacks its path");
    if (!args.rest().empty())
        return Fail(2, "panel: unexpected '" + args.rest().front() + "'");

    const std::string path = PanelPath();
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    const std::string option = "--socket";
    if (socket) {
        argv.push_back(const_cast<char*>(option.c_str()));
        argv.push_back(socket->data());
    }
    argv.push_back(nullptr);
    ::execv(path.c_str(), argv.data());
    return Fail(1, "panel: cannot start " + path + ": " + std::strerror(errno));
}

} // namespace tavo::cli
