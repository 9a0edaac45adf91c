// Transfer of the CCD intensity profile: 256 samples in four blocks of 64 words, one block
// per request (command 9), each answered by 128 raw bytes without frame header.
#pragma once

// Block request, a transmit frame of TX_FRAME_LEN bytes:
//   offset 0  size 2   0x00 0x55 sync
//   offset 2  size 2   command word 9 (CMD_VIDEO_BLOCK)
//   offset 4  size 2   payload word 0: start index of the block (0, 64, 128 or 192)
//   offset 6  size 2   payload word 1: destination selector (0: the live profile adcbuf)
//   offset 8  size 28  payload words 2..15: 0
//   offset 36 size 2   0x00 0x00
// Block answer, exactly VIDEO_BLOCK_LEN bytes: 64 words, high byte first; word i is
// profile entry start + i.
enum {
    VIDEO_BLOCK_WORDS = 64,      // profile samples per block
    VIDEO_BLOCK_COUNT = 4,       // blocks per profile: starts 0, 64, 128, 192
    VIDEO_BLOCK_START_WORD = 0,  // payload word holding the start index
    VIDEO_BLOCK_DEST_WORD = 1,   // payload word holding the destination selector
    VIDEO_DEST_LIVE = 0,         // destination selector of the live profile
};

// A reply frame takes 19 ms at 19200 baud and follows its request within a few
// milliseconds, so a reply still on its way shows within this time.
constexpr double LINE_SETTLE_TIME = 0.025;

// Requests the block that starts at `start` and waits for its answer. Stores the 64 words
// into adcbuf[start .. start + 63] and returns 1 when exactly 128 bytes came; otherwise
// stores nothing and returns 0. Shows a waiting text and then the outcome in the status
// line. The caller has removed the receive callback, so the answer stays in the input
// queue for this function to read.
int ReadData64(int start, int dest);
// The half of ReadData64 after its wait: `count` bytes of the answer read from the queue,
// which held `waiting` bytes. Stores and returns as ReadData64 does, and shows the outcome
// in the status line.
int TakeDataBlock(int start, const char *answer, int count, int waiting);
