// The frames as bytes: the transmit frame built, the reply frame parsed, the foreign-reply
// filter, and the raw measurement frame unpacked into the measurement values.
#include "com232.h"
#include "measure.h"
#include "params.h"
#include "runmode.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Words = std::array<unsigned short, PNUM>;

Bytes Written() { return Bytes(szWriteBuf, szWriteBuf + TX_FRAME_LEN); }

void ReplyBytes(const Bytes &b) {
    std::memset(szReadBuf, 0, sizeof szReadBuf);
    std::memcpy(szReadBuf, b.data(), b.size());
}

// A reply frame: sync word, echo, the words, high bytes first.
Bytes Reply(unsigned sync, unsigned echo, const Words &w) {
    Bytes b = {static_cast<unsigned char>(sync >> 8), static_cast<unsigned char>(sync),
               static_cast<unsigned char>(echo >> 8), static_cast<unsigned char>(echo)};
    for (unsigned short v : w) {
        b.push_back(static_cast<unsigned char>(v >> 8));
        b.push_back(static_cast<unsigned char>(v));
    }
    return b;
}

} // namespace

TEST(Frames, TransmitFrameCarriesSyncCommandWordsHighByteFirstAndTwoZeros) {
    Words w{};
    for (int k = 0; k < PNUM; k++) w[k] = static_cast<unsigned short>(0x0101 * k);
    w[3] = 0xFFFE;
    std::memset(szWriteBuf, 0x77, sizeof szWriteBuf);
    FillTxBuf(CMD_RESET_MAXMIN, w.data());
    Bytes expect = {0x00, 0x55, 0x00, 0x0B};
    for (unsigned short v : w) expect.insert(expect.end(), {Bytes::value_type(v >> 8), Bytes::value_type(v)});
    expect.insert(expect.end(), {0x00, 0x00});
    EXPECT_EQ(expect, Written());
    EXPECT_EQ(0x77, static_cast<unsigned char>(szWriteBuf[TX_FRAME_LEN])) << "wrote past the frame";
}

// One row per reply frame: what the parser makes of it, and whether a one-shot exchange's
// filter drops it while a loop runs.
struct ReplyRow {
    const char *name;
    unsigned sync = RX_SYNC_WORD;
    unsigned echo = CMD_READ_RAM;
    Words words{};
    bool dropped = false;
};
void PrintTo(const ReplyRow &r, std::ostream *os) {
    *os << r.name << " (sync 0x" << std::hex << r.sync << ", echo " << std::dec << r.echo << ")";
}

class ReplyFrames : public ::testing::TestWithParam<ReplyRow> {};

TEST_P(ReplyFrames, ParseEchoAndForeignFilter) {
    const ReplyRow &r = GetParam();
    ReplyBytes(Reply(r.sync, r.echo, r.words));
    GetRxBuf();
    EXPECT_EQ(r.words, (Words{pp[0], pp[1], pp[2], pp[3], pp[4], pp[5], pp[6], pp[7], pp[8], pp[9],
                              pp[10], pp[11], pp[12], pp[13], pp[14], pp[15]}));
    EXPECT_EQ(r.echo, ReplyEchoWord());
    rx_flag = 1;
    graphrefresh = 1;
    EXPECT_EQ(r.dropped ? 1 : 0, DropForeignReply());
    EXPECT_EQ(std::make_pair(r.dropped ? 0 : 1, r.dropped ? 0 : 1), std::make_pair(rx_flag, graphrefresh));
    rx_flag = 0; // nothing taken in: nothing to drop
    EXPECT_EQ(0, DropForeignReply());
}

INSTANTIATE_TEST_SUITE_P(
    Link, ReplyFrames,
    ::testing::Values(
        ReplyRow{.name = "parameter frame", .words = {500, 0, 512, 0xFFFE, 1, 1, 1, 1024, 512, 100}},
        ReplyRow{.name = "top bits set", .words = {0x8000, 0xFFFF, 0x00FF, 0xFF00}},
        ReplyRow{.name = "measurement frame", .echo = CMD_RAW_FRAME, .dropped = true},
        ReplyRow{.name = "bytes of the sync swapped", .sync = 0xAA00, .dropped = true},
        ReplyRow{.name = "another sync", .sync = 0x1234, .echo = CMD_HARDWARE, .dropped = true},
        ReplyRow{.name = "reset acknowledged", .echo = CMD_RESET_MAXMIN}),
    [](const auto &info) {
        std::string n = info.param.name;
        for (char &c : n) if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return n;
    });

TEST(Frames, RawFrameWordsLandInTheMeasurementValues) {
    Words w{};
    for (int k = 0; k < PNUM; k++) w[k] = static_cast<unsigned short>(100 + k);
    w[RAW_umValueLow] = 1;
    w[RAW_umValueHigh] = 2;
    w[RAW_Mvalue] = 0xFFFE;
    w[RAW_trk_flag] = 0xFFFF;
    Ledge = Redge = Mvalue = 0;
    trk_flag = -1;
    UnpackRunFrame(w.data());
    EXPECT_EQ(std::make_tuple(100, 101, 65534, 2u * 65536u + 1u, 105, 106, 107, 108, 109, 110, 111, 112, 113),
              std::make_tuple(Ledge, Redge, Mvalue, umValue, setpoint, tolerance, edcnt, mvstart, mvend,
                              dynpow, anaMax, anaMin, in0));
    EXPECT_EQ(-1, trk_flag) << "RUN takes no word 14";

    // VIDEO takes words 3..14 and leaves the edges and the value to the profile.
    Words v = w;
    v[RAW_Ledge] = v[RAW_Redge] = v[RAW_Mvalue] = 7;
    v[RAW_setpoint] = 900;
    UnpackVideoFrame(v.data());
    EXPECT_EQ(std::make_tuple(100, 101, 65534, 900, 65535),
              std::make_tuple(Ledge, Redge, Mvalue, setpoint, trk_flag));
}
