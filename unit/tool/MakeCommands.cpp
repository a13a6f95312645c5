#include "Commands.h"
#include "tavo/ContentFile.h"

namespace tavo::cli {

int MakeContent(Arguments& args)
{
    std::optional<std::string> kindText, index, version, size, output;
    if (!args.takeValue("--kind", kindText) || !args.takeValue("--index", index) ||
        !args.takeValue("--version", version) || !args.takeValue("--size", size) ||
        !args.takeValue("-o", output))
        return Fail(2, "make-content: an option lacks its value");
    const bool exact = args.takeFlag("--exact-size");
    if (!args.rest().empty())
        return Fail(2, "make-content: unexpected '" + args.rest().front() + "'");
    if (!kindText || !version || !size || !output)
        return Fail(2, "make-content: --kind, --version, --size and -o are required");

    ContentFileSpec spec;
    spec.exactSize = exact;
    if (!ParseContentKind(*kindText, spec.kind))
        return Fail(2, "make-content: --kind is db, voice, image or firmware");
    unsigned long number = 0;
    if (index) {
        if (!ParseNumber(*index, 255, number))
            return Fail(2, "make-content: --index is a number from 0 to 255");
        spec.index = static_cast<std::uint8_t>(number);
    }
    std::string error;
    if (!ParseContentVersion(spec.kind, *version, spec.version, &error))
        return Fail(2, "make-content: " + error);
    if (!ParseNumber(*size, 0xFFFFFFFFUL, number))
        return Fail(2, "make-content: --size is a number of bytes");
    spec.size = static_cast<std::uint32_t>(number);
    if (!SaveContentFile(spec, *output, &error))
        return Fail(1, "make-content: " + error);
    return 0;
}

int MakeServer(Arguments& args)
{
    std::optional<std::string> db, voice, image;
    if (!args.takeValue("--db-size", db) || !args.takeValue("--voice-size", voice) ||
        !args.takeValue("--image-size", image))
        return Fail(2, "make-server: an option lacks its value");
    if (args.rest().size() != 1)
        return Fail(2, "make-server: give one folder");
    UpdateServerSizes sizes;
    const struct
    {
        const std::optional<std::string>& text;
        std::uint32_t& size;
        ContentFileKind kind;
    } options[] = {{db, sizes.db, ContentFileKind::Db},
                   {voice, sizes.voice, ContentFileKind::Voice},
                   {image, sizes.image, ContentFileKind::Image}};
    for (const auto& o : options) {
        unsigned long number = 0;
        if (!o.text)
            continue;
        if (!ParseNumber(*o.text, ContentAreaSize(o.kind), number) || number == 0)
            return Fail(2, std::string("make-server: a ") + ContentKindName(o.kind) +
                               " size is 1 to " + std::to_string(ContentAreaSize(o.kind)) +
                               " bytes");
        o.size = static_cast<std::uint32_t>(number);
    }
    std::string error;
    if (!WriteUpdateServer(args.rest().front(), sizes, &error))
        return Fail(1, "make-server: " + error);
    return 0;
}

} // namespace tavo::cli
