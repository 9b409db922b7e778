#pragma once
// Helpers of the settings-file tests: a hand-made encoder of the file format
// (independent of the archive writer, so that the two check each other), a
// link that records the frames the model sends, a scratch folder, and a
// file size limit that makes writes fail the way a full disk does.

#include <gtest/gtest.h>

#include <bit>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "model/CVelmoraDoc.h"
#include "FileSizeLimit.h"

namespace velmora::test {

namespace fs = std::filesystem;

inline std::string Le(std::uint64_t v, int size)
{
    std::string s;
    for (int i = 0; i < size; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
}
inline std::string I32(std::int32_t v)
{
    return Le(static_cast<std::uint32_t>(v), 4);
}
inline std::string F64(double v)
{
    return Le(std::bit_cast<std::uint64_t>(v), 8);
}
inline std::string B8(bool v)
{
    return std::string(1, v ? '\x01' : '\x00');
}
// Short strings only (one-byte prefix).
inline std::string Str(const std::string& s)
{
    return std::string(1, static_cast<char>(s.size())) + s;
}

// The raw content of one channel block, in file order.
struct BlockFields {
    bool useConversion = false;
    std::int32_t rangeCode = 0;
    double convMin = 0.0;
    double convMax = 1.0;
    std::int32_t convDecimals = 0;
    double presetBase = 0.0; // preset (s, k) = presetBase + s * 8 + k
    AutoOutputSlot slot{};   // every slot
    ArbitraryPoint point{};  // every row
};

inline std::string Block(const BlockFields& b)
{
    std::string s = B8(b.useConversion) + I32(b.rangeCode) + F64(b.convMin) + F64(b.convMax) + I32(b.convDecimals);
    for (int i = 0; i < 128; ++i)
        s += F64(b.presetBase + i);
    for (int i = 0; i < 16; ++i)
        s += I32(b.slot.mode) + I32(b.slot.repeat) + F64(b.slot.start) + F64(b.slot.end) + F64(b.slot.step) +
            I32(b.slot.interval);
    for (int i = 0; i < 100; ++i)
        s += B8(b.point.used) + F64(b.point.value) + I32(b.point.interval);
    return s;
}

inline std::string Header(std::int32_t count, const std::string& port = "", const std::string& version = "0100")
{
    return Str("<<## VKX Start ##>>") + Str(version) + I32(count) + Str(port);
}

inline std::string File(std::int32_t count, const std::vector<BlockFields>& blocks, const std::string& port = "")
{
    std::string s = Header(count, port);
    for (int ch = 0; ch < 4; ++ch)
        s += Block(ch < static_cast<int>(blocks.size()) ? blocks[ch] : BlockFields{});
    return s + Str("<<## VKX End ##>>");
}

class RecordingLink final : public ModelLink {
public:
    struct Frame {
        int ch;
        ChannelSettings settings;
    };
    bool IsConnected() const override { return connected; }
    void SendChannelSettings(int ch, const ChannelSettings& s) override { frames.push_back({ch, s}); }

    bool connected = true;
    std::vector<Frame> frames;
};

class ScratchDir {
public:
    ScratchDir()
    {
        std::string tmpl = (fs::temp_directory_path() / "velmora-doc-XXXXXX").string();
        if (mkdtemp(tmpl.data()) != nullptr)
            path = tmpl;
    }
    ~ScratchDir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    WorkingDirectoryFn Cwd() const
    {
        const std::string p = path.string();
        return [p] { return std::optional<std::string>(p); };
    }
    fs::path StateFile() const { return path / "Hovelt" / "Velmora" / "vkx.ini"; }

    fs::path path;
};

inline std::string Slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void Put(const fs::path& p, const std::string& bytes)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string Written(const CVelmoraDoc& doc)
{
    ArchiveWriter ar;
    doc.WriteSettings(ar);
    return ar.Bytes();
}

class SettingsTest : public ::testing::Test { };

} // namespace velmora::test
