// Firmware image files: what one holds, before anything is programmed.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "CtlLink.h"
#include "firmware/ImageFile.h"
#include "platform/Sha256.h"

namespace velmora::ctl {

namespace {

int Info(const Invocation& inv)
{
    const Command& row = FindCommand("firmware");
    if (inv.args.size() < 2)
        return UsageError(row, "firmware info needs an image file");
    if (inv.args.size() > 2)
        return UsageError(row, "unexpected argument '" + inv.args[2] + "'");
    const std::string& path = inv.args[1];
    std::string version;
    FirmwareImage image;
    ImageFileResult r = ReadImageVersion(path, version);
    if (r == ImageFileResult::Ok)
        r = LoadImage(path, image);
    if (r != ImageFileResult::Ok) {
        std::fprintf(stderr, "velmoractl: %s: %s\n", path.c_str(), ImageFileMessage(r));
        return kExitFileRefused;
    }
    // The digest of the whole memory image, the untouched 0xFF bytes
    // included: two files that program the same bytes name the same digest.
    std::printf("version=%s sha256=%s\n", version.c_str(), Sha256Hex(image).c_str());
    return kExitOk;
}

} // namespace

int RunFirmware(const Invocation& inv)
{
    const std::string sub = inv.args.empty() ? std::string() : inv.args[0];
    if (sub == "info")
        return Info(inv);
    return UsageError(FindCommand("firmware"),
                      sub.empty() ? "firmware needs info" : "unknown firmware command '" + sub + "'");
}

} // namespace velmora::ctl
