// Undoing the in-band fault marks of the terminal driver.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ParmrkDecoder.h"
#include "platform/SerialPort.h"

namespace velmora {
namespace {

using Bytes = std::vector<std::uint8_t>;

// What one decode call gave.
struct Piece {
    Bytes data;
    std::uint8_t faults;
    bool operator==(const Piece&) const = default;
};

// Feeds `wire` in reads of the given sizes, decoding each read to the end as
// the port does, and lists the pieces in order.
std::vector<Piece> DecodeInReads(const Bytes& wire, const std::vector<std::size_t>& reads, std::size_t outSize = 64)
{
    ParmrkDecoder d;
    std::vector<Piece> pieces;
    std::size_t at = 0;
    for (std::size_t len : reads) {
        std::span<const std::uint8_t> in(wire.data() + at, len);
        at += len;
        while (!in.empty()) {
            Bytes out(outSize);
            const auto r = d.Decode(in, out);
            EXPECT_LE(r.produced, r.consumed + 1);
            in = in.subspan(r.consumed);
            out.resize(r.produced);
            if (!out.empty() || r.lineErrors != 0)
                pieces.push_back({out, r.lineErrors});
        }
    }
    EXPECT_EQ(at, wire.size());
    return pieces;
}

Bytes Joined(const std::vector<Piece>& pieces)
{
    Bytes all;
    for (const auto& p : pieces)
        all.insert(all.end(), p.data.begin(), p.data.end());
    return all;
}

TEST(ParmrkDecoder, PlainBytesPassUnchangedIncludingZeroAndFlowControlBytes)
{
    const Bytes wire = {0x00, 0x11, 0x13, 0x0D, 0x0A, 0x7F, 0xFE};
    const auto pieces = DecodeInReads(wire, {wire.size()});
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0], (Piece{wire, 0}));
}

TEST(ParmrkDecoder, AnEscapedFFIsOneFFWhereverTheReadsSplitIt)
{
    const Bytes wire = {'a', 0xFF, 0xFF, 'b', 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes want = {'a', 0xFF, 'b', 0xFF, 0xFF};
    for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
        const auto pieces = DecodeInReads(wire, {cut, wire.size() - cut});
        EXPECT_EQ(Joined(pieces), want) << "cut at " << cut;
        for (const auto& p : pieces)
            EXPECT_EQ(p.faults, 0);
    }
}

TEST(ParmrkDecoder, ABreakAndAnErrorAreToldApartAndTheBadByteIsDropped)
{
    const Bytes wire = {'A', 0xFF, 0x00, 0x00, 'B', 0xFF, 0x00, 'x', 'C'};
    const auto pieces = DecodeInReads(wire, {wire.size()});
    const std::vector<Piece> want = {
        {{'A'}, kLineBreak},
        {{'B'}, kLineFraming},
        {{'C'}, 0},
    };
    EXPECT_EQ(pieces, want);
}

TEST(ParmrkDecoder, AMarkSplitAcrossReadsStillFallsBetweenTheRightBytes)
{
    const Bytes wire = {'1', '2', 0xFF, 0x00, 0x41, '3'};
    for (std::size_t cut1 = 1; cut1 < wire.size(); ++cut1)
        for (std::size_t cut2 = cut1; cut2 < wire.size(); ++cut2) {
            const auto pieces = DecodeInReads(wire, {cut1, cut2 - cut1, wire.size() - cut2});
            // Whatever the cuts, the fault comes after "12" and before "3".
            Bytes before;
            std::size_t i = 0;
            for (; i < pieces.size() && pieces[i].faults == 0; ++i)
                before.insert(before.end(), pieces[i].data.begin(), pieces[i].data.end());
            ASSERT_LT(i, pieces.size()) << cut1 << "," << cut2;
            before.insert(before.end(), pieces[i].data.begin(), pieces[i].data.end());
            EXPECT_EQ(before, (Bytes{'1', '2'})) << cut1 << "," << cut2;
            EXPECT_EQ(pieces[i].faults, kLineFraming);
            Bytes after;
            for (++i; i < pieces.size(); ++i) {
                EXPECT_EQ(pieces[i].faults, 0);
                after.insert(after.end(), pieces[i].data.begin(), pieces[i].data.end());
            }
            EXPECT_EQ(after, (Bytes{'3'}));
        }
}

TEST(ParmrkDecoder, ResetForgetsAMarkLeftOpenByAnEarlierOpening)
{
    ParmrkDecoder d;
    Bytes out(8);
    const Bytes first = {'z', 0xFF, 0x00};
    auto r = d.Decode(first, out);
    EXPECT_EQ(r.consumed, 3u);
    EXPECT_EQ(r.produced, 1u);
    EXPECT_TRUE(d.MidSequence());
    d.Reset();
    EXPECT_FALSE(d.MidSequence());
    // Without the reset this zero would end the mark as a break.
    const Bytes second = {0x00};
    r = d.Decode(second, out);
    EXPECT_EQ(r.produced, 1u);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(r.lineErrors, 0);
}

TEST(ParmrkDecoder, ARunOfFFsLongerThanTheOutputIsTakenInTurns)
{
    Bytes wire;
    for (int i = 0; i < 10; ++i)
        wire.insert(wire.end(), {0xFF, 0xFF});
    const auto pieces = DecodeInReads(wire, {wire.size()}, 3);
    EXPECT_EQ(Joined(pieces), Bytes(10, 0xFF));
}

TEST(ParmrkDecoder, AnUnexpectedByteAfterFFKeepsBoth)
{
    const Bytes wire = {0xFF, 'q', 'r'};
    const auto pieces = DecodeInReads(wire, {1, 2});
    EXPECT_EQ(Joined(pieces), (Bytes{0xFF, 'q', 'r'}));
}

TEST(ClassifyLineFault, TheDriverCountersNameTheFaultWhenTheyMoved)
{
    const LineFaultCounts before{5, 1, 2};
    // No counters (a pseudo-terminal) or none moved: the mark's guess stands.
    EXPECT_EQ(ClassifyLineFault(kLineBreak, before, before), kLineBreak);
    EXPECT_EQ(ClassifyLineFault(kLineFraming, before, before), kLineFraming);
    // A framing error on a zero byte looks like a break in band.
    EXPECT_EQ(ClassifyLineFault(kLineBreak, before, {6, 1, 2}), kLineFraming);
    EXPECT_EQ(ClassifyLineFault(kLineFraming, before, {5, 2, 2}), kLineParity);
    EXPECT_EQ(ClassifyLineFault(kLineFraming, before, {6, 2, 3}), kLineFraming | kLineParity | kLineBreak);
}

} // namespace
} // namespace velmora
