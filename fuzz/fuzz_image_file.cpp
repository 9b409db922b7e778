// Bytes of a file chosen as a firmware image: its records decoded into the
// memory image. Nothing may be written outside the image, whatever the
// length bytes and addresses say, and the image keeps its size.
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzTarget.h"
#include "firmware/ImageFile.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    FirmwareImage image;
    (void)DecodeImage(bytes, image);
    if (image.size() != kImageBytes)
        std::abort();
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    const std::string header("\0\x01\x02\x03", 4);
    return {
        header,
        header + EncodeImageRecord("S306FFFE000012EA") + EncodeImageRecord("S306FFFE000012EA", 'Y'),
        header + EncodeImageRecord("S30A000007FF0102030405E9", 'Z') + std::string("\0abc", 4),
        header + EncodeImageRecord("S705FFFE0000FD") + std::string("\x7F", 1),
        header + std::string("\x80zzz\x7FYYY", 8),
    };
}
