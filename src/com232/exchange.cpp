// The link's one wait and the frame write that every exchange shares.
#include "exchange.h"

#include "rs232.h"
#include "userint.h"
#include "utility.h"
#include "videoblock.h"

unsigned exchange_count = 0;
unsigned exchange_command = 0;

namespace {

constexpr int kTxCommand = 2; // command word in the transmit frame, high byte first

unsigned WrittenCommand(void) {
    const unsigned hi = static_cast<unsigned char>(szWriteBuf[kTxCommand]);
    const unsigned lo = static_cast<unsigned char>(szWriteBuf[kTxCommand + 1]);
    return hi * 256 + lo;
}

// exchange_busy for the length of a one-shot wait.
class BusyWhileWaiting {
  public:
    explicit BusyWhileWaiting(bool on) : on_(on), saved_(exchange_busy) {
        if (on_) exchange_busy = 1;
    }
    ~BusyWhileWaiting() {
        if (on_) exchange_busy = saved_;
    }
    BusyWhileWaiting(const BusyWhileWaiting &) = delete;
    BusyWhileWaiting &operator=(const BusyWhileWaiting &) = delete;

  private:
    bool on_;
    int saved_;
};

// A reply frame needs the receive callback. A one-shot exchange started while VIDEO reads
// its profile blocks (the callback removed) gets it for the length of its wait.
class CallbackWhileWaiting {
  public:
    explicit CallbackWhileWaiting(bool need) : on_(need && rx_callback_on == 0) {
        if (on_) InstallRxCallback();
    }
    ~CallbackWhileWaiting() {
        if (on_ && rx_callback_on == 1) RemoveRxCallback();
    }
    CallbackWhileWaiting(const CallbackWhileWaiting &) = delete;
    CallbackWhileWaiting &operator=(const CallbackWhileWaiting &) = delete;

  private:
    bool on_;
};

bool Arrived(const WaitRules &rules, int waiting) {
    if (rules.queueBytes > 0) return waiting >= rules.queueBytes;
    // While a RUN or VIDEO loop runs, its own reply can reach a one-shot exchange first.
    if (rules.ownReplyOnly && loop_mode != LOOP_IDLE) DropForeignReply();
    return rx_flag == 1;
}

bool OutOfTime(const WaitRules &rules) {
    tdiff = Timer() - tstart;
    return rules.endAtLimit ? tdiff >= rules.timeout : tdiff > rules.timeout;
}

} // namespace

int WriteFrame(int port) {
    exchange_count++;
    exchange_command = WrittenCommand();
    nBytesW = ComWrt(port, szWriteBuf, TX_FRAME_LEN);
    return nBytesW;
}

int WriteFrame(void) {
    return WriteFrame(com);
}

int LastExchangeKeptQueues(void) {
    return exchange_command == CMD_WRITE_RAM || exchange_command == CMD_WRITE_EEPROM ? 1 : 0;
}

WaitOutcome AwaitExchange(const WaitRules &rules) {
    BusyWhileWaiting busy(rules.oneShot);
    CallbackWhileWaiting callback(rules.oneShot && rules.queueBytes == 0 && rules.quietTime <= 0);
    const unsigned generation = link_generation;
    const unsigned exchange = exchange_count;
    const bool quiet = rules.quietTime > 0;
    int queued = GetInQLen(com);
    double quietSince = Timer();

    for (;;) {
        if (rules.flagBeforeEvents && !quiet && Arrived(rules, queued)) return WAIT_RECEIVED;

        // Sleep until something happens: the reply (the receive callback's notification, or
        // the queue watch for raw bytes), a user event, or the next deadline of this wait.
        double until = tstart + rules.timeout;
        if (quiet && quietSince + rules.quietTime < until) until = quietSince + rules.quietTime;
        if (rules.processEvents) {
            if (rules.queueBytes > 0) WatchComInQ(com, rules.queueBytes);
            ProcessSystemEventsUntil(until);
        } else if (rules.queueBytes > 0) {
            WaitComInQ(com, rules.queueBytes, until - Timer());
        } else {
            const double left = until - Timer();
            if (left > 0) Delay(left);
        }

        if (link_generation != generation || exchange_count != exchange) return WAIT_SUPERSEDED;
        const int waiting = GetInQLen(com);
        if (rules.endOnStop && stop_flag != 0) return WAIT_STOPPED;
        if (quiet) {
            if (waiting != queued) {
                quietSince = Timer();
            } else if (waiting >= 0 && Timer() - quietSince >= rules.quietTime) {
                return WAIT_RECEIVED;
            }
        } else if (!rules.flagBeforeEvents && Arrived(rules, waiting)) {
            return WAIT_RECEIVED;
        }
        if (waiting < 0) return WAIT_PORT_GONE;
        queued = waiting;
        if (OutOfTime(rules)) return WAIT_TIMED_OUT;
    }
}

void AwaitQuietTail(void) {
    constexpr double kTailQuiet = 0.0009; // nearly two byte times at 19200 baud
    constexpr double kTailWait = 0.05;   // a line that keeps chattering is judged after this
    WaitRules quiet;
    quiet.quietTime = kTailQuiet;
    quiet.timeout = kTailWait;
    quiet.processEvents = false;
    quiet.oneShot = false;
    const double savedStart = tstart;
    tstart = Timer();
    AwaitExchange(quiet);
    tstart = savedStart;
}

WaitOutcome LetLineSettle(void) {
    WaitRules rules;
    rules.quietTime = LINE_SETTLE_TIME;
    rules.oneShot = false;
    rules.endOnStop = true;
    tstart = Timer();
    return AwaitExchange(rules);
}
