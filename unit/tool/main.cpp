// tavo-unit: the virtual Tavo unit and its helpers. See unit/README.md.
#include "Commands.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  tavo-unit serve [--socket PATH] --state DIR [--trace FILE] [--pace usb-full-speed]\n"
    "                  [--unplugged] [--check-delay MS]\n"
    "  tavo-unit ctl [--socket PATH] plug | unplug | boot on | boot off | status | settings\n"
    "                | fault unplug|nak|short|stall|write-fail [N] | fault clear\n"
    "                | check-delay MS | poi-seed N | damage db|voice|image\n"
    "                | repair db|voice|image\n"
    "  tavo-unit make-content --kind db|voice|image|firmware [--index N] --version V\n"
    "                  --size BYTES [--exact-size] -o FILE\n"
    "  tavo-unit make-server DIR [--db-size BYTES] [--voice-size BYTES] [--image-size BYTES]\n"
    "  tavo-unit panel [--socket PATH]\n";

} // namespace

namespace tavo::cli {

int Fail(int status, const std::string& text)
{
    std::fprintf(stderr, "tavo-unit: %s\n", text.c_str());
    if (status == 2)
        std::fputs(kUsage, stderr);
    return status;
}

} // namespace tavo::cli

int main(int argc, char** argv)
{
    using namespace tavo::cli;
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const char* command = argv[1];
    Arguments args(argc, argv, 2);
    if (std::strcmp(command, "serve") == 0)
        return Serve(args);
    if (std::strcmp(command, "ctl") == 0)
        return Control(args);
    if (std::strcmp(command, "make-content") == 0)
        return MakeContent(args);
    if (std::strcmp(command, "make-server") == 0)
        return MakeServer(args);
    if (std::strcmp(command, "panel") == 0)
        return Panel(args);
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return Fail(2, std::string("unknown command '") + command + "'");
}
