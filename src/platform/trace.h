// Service trace: one line per event with milliseconds since start. Off unless the program
// was started with --trace FILE; every call costs one branch when off.
#pragma once

extern int g_traceOn;
void TraceOpen(const char *fileName);
void TraceClose(void);
void TraceLineImpl(const char *kind, const char *text);
void TraceBytesImpl(const char *kind, int port, const unsigned char *bytes, int count);

inline void TraceLine(const char *kind, const char *text) {
    if (g_traceOn) TraceLineImpl(kind, text);
}
inline void TraceBytes(const char *kind, int port, const unsigned char *bytes, int count) {
    if (g_traceOn) TraceBytesImpl(kind, port, bytes, count);
}
