// Transmit and reply frames byte by byte, and the range checks on the parameter words.
#include "com232.h"
#include "devinfo.h"
#include "params.h"
#include "parapanels.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Frames, TransmitFrameIsSyncCommandPayloadHighByteFirstAndTwoZeroBytes) {
    std::memset(szWriteBuf, 0x5A, sizeof szWriteBuf); // no byte of the frame may keep this
    unsigned short words[PNUM];
    for (int k = 0; k < PNUM; k++)
        words[k] = static_cast<unsigned short>(0x0101 * k + 0x80);
    words[15] = 0xFFFE;
    FillTxBuf(0x0A0B, words);
    const auto *b = reinterpret_cast<const unsigned char *>(szWriteBuf);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0x55);
    EXPECT_EQ(b[2], 0x0A);
    EXPECT_EQ(b[3], 0x0B);
    for (int k = 0; k < PNUM; k++) {
        EXPECT_EQ(b[4 + 2 * k], words[k] >> 8) << k;
        EXPECT_EQ(b[5 + 2 * k], words[k] & 0xFF) << k;
    }
    EXPECT_EQ(b[TX_FRAME_LEN - 2], 0x00);
    EXPECT_EQ(b[TX_FRAME_LEN - 1], 0x00);
    EXPECT_EQ(TX_FRAME_LEN, 38);
    EXPECT_EQ(RX_FRAME_LEN, 36);
}

TEST(Frames, ReplyPayloadIsParsedWithoutSignExtension) {
    std::memset(szReadBuf, 0, sizeof szReadBuf);
    szReadBuf[0] = 0x12; // header bytes are not payload
    szReadBuf[3] = 0x34;
    const unsigned char payload[4] = {0xFF, 0xFE, 0x80, 0x01};
    std::memcpy(szReadBuf + 4, payload, 4);
    szReadBuf[34] = 0x01;
    szReadBuf[35] = static_cast<char>(0xFF);
    GetRxBuf();
    EXPECT_EQ(pp[0], 0xFFFE);
    EXPECT_EQ(pp[1], 0x8001);
    EXPECT_EQ(pp[2], 0);
    EXPECT_EQ(pp[15], 0x01FF);
}

// Each row: word, value given, value after the checks (ccdsubpixel 1000, ccdmaxpixelX8 8192).
struct RangeCase {
    int word;
    unsigned short given, kept;
};

TEST(ParameterRanges, OutOfRangeWordsAreCorrectedAndOthersKept) {
    const RangeCase cases[] = {
        {PW_power, 1000, 1000},     {PW_power, 1001, 500},         {PW_rs232Mode, 1, 1},
        {PW_rs232Mode, 2, 0},       {PW_videoThreshold, 950, 950}, {PW_videoThreshold, 951, 950},
        {PW_videoThreshold, 5, 10}, {PW_videoThreshold, 0, 10},    {PW_anaMode, 7, 7},
        {PW_anaMode, 8, 0},         {PW_polarity, 0, 0},           {PW_polarity, 2, 1},
        {PW_evalMode, 4, 4},        {PW_evalMode, 9, 4},           {PW_edgeLeft, 1000, 1000},
        {PW_edgeLeft, 1500, 1},     {PW_edgeRight, 1000, 1000},    {PW_edgeRight, 1500, 1000},
        {PW_edgeRight, 0, 1},       {PW_setpoint, 65535, 65535},   {PW_tolerance, 8192, 8192},
        {PW_tolerance, 9000, 8192}, {PW_tolerance, 0, 1},          {PW_opMode, 65535, 65535},
        {PW_hardwareMode, 3, 3},    {PW_hardwareMode, 4, 3},       {PW_spare12, 1001, 1000},
        {PW_spare12, 0, 1},         {PW_spare13, 65535, 65535},    {PW_average, 1024, 1024},
        {PW_average, 2000, 1024},   {PW_tolDelta, 65535, 65535},
    };
    ccdsubpixel = 1000;
    ccdmaxpixelX8 = 8192;
    for (const RangeCase &c : cases) {
        // Start from a set inside every range so that only the word under test moves.
        const unsigned short good[PNUM] = {500, 0,   512, 0, 1, 1, 1, 1000,
                                           512, 100, 0,   1, 1, 0, 0, 1500};
        for (int i = 0; i < PNUM; i++)
            parameter[PARAM_HEADER + i] = good[i];
        parameter[PARAM_HEADER + c.word] = c.given;
        CheckParameterRanges();
        for (int i = 0; i < PNUM; i++) {
            const unsigned short want = i == c.word ? c.kept : good[i];
            EXPECT_EQ(parameter[PARAM_HEADER + i], want)
                << "word " << c.word << " given " << c.given << ", word " << i;
        }
    }
}
