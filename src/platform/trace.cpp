// Service trace: one line per event, "<ms since the trace began> <kind> <text>". Texts are
// written on one line (line breaks and other control characters escaped) and each line is
// flushed, so the trace survives a crash.
#include "trace.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

int g_traceOn = 0;

namespace {

std::FILE *g_file = nullptr;
std::mutex g_mutex;
std::chrono::steady_clock::time_point g_start;

long long Millis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now() - g_start).count();
}

void Escape(std::string &out, const char *text) {
    static const char hex[] = "0123456789abcdef";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        if (*p == '\n') {
            out += "\\n";
        } else if (*p == '\\') {
            out += "\\\\";
        } else if (*p < 0x20 || *p == 0x7F) {
            out += "\\x";
            out += hex[*p >> 4];
            out += hex[*p & 15];
        } else {
            out += char(*p);
        }
    }
}

void Emit(const std::string &line) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_file) return;
    std::fputs(line.c_str(), g_file);
    std::fflush(g_file);
}

} // namespace

void TraceOpen(const char *fileName) {
    TraceClose();
    if (!fileName || !*fileName) return;
    std::FILE *f = std::fopen(fileName, "w");
    if (!f) {
        std::fprintf(stderr, "cannot write the trace file %s: %s\n", fileName,
                     std::strerror(errno));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_file = f;
        g_start = std::chrono::steady_clock::now();
    }
    g_traceOn = 1;
    TraceLineImpl("trace", fileName);
}

void TraceClose(void) {
    g_traceOn = 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_file) std::fclose(g_file);
    g_file = nullptr;
}

void TraceLineImpl(const char *kind, const char *text) {
    std::string line = std::to_string(Millis()) + " " + (kind ? kind : "") + " ";
    Escape(line, text ? text : "");
    line += '\n';
    Emit(line);
}

void TraceBytesImpl(const char *kind, int port, const unsigned char *bytes, int count) {
    static const char hex[] = "0123456789abcdef";
    std::string line = std::to_string(Millis()) + " " + (kind ? kind : "") + " COM" +
                       std::to_string(port) + " " + std::to_string(count) + ":";
    for (int i = 0; bytes && i < count; ++i) {
        line += ' ';
        line += hex[bytes[i] >> 4];
        line += hex[bytes[i] & 15];
    }
    line += '\n';
    Emit(line);
}
