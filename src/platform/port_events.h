// A port that goes and comes back, and the hint line beside the port drop-down: the platform
// tells the logic through these hooks (plain function pointers, null while nothing listens).
#pragma once

struct PortEventHooks {
    // The open port hung up (adapter pulled). `name` is its stable name, else its device
    // path. Returns 1 once the logic has told the operator, 0 to be asked again shortly
    // (a RUN or VIDEO loop is still ending with its own text).
    int (*lost)(int portNumber, const char *name) = nullptr;
    // The lost port's stable name is back; the port table holds it under the same number.
    void (*returned)(int portNumber) = nullptr;
    // The hint line's text ("" clears it).
    void (*hint)(const char *text) = nullptr;
};
extern PortEventHooks g_portEventHooks;

// The echo check passed on port N: its stable name is remembered as the last good adapter,
// which becomes COM1 at the next start when it is present.
void NotePortAnswered(int portNumber);
