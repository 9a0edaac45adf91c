// The scripted service jobs (--info, --backup FILE, --restore FILE, with --eeprom): the
// program starts without a window (Qt's offscreen platform), probes the sensor with its own
// exchanges, runs one job, prints what it did and ends with a status code.
#include "service.h"

#include "identity.h"

#include "com232.h"
#include "parafile.h"
#include "params.h"
#include "parapanels.h"
#include "service_hooks.h"
#include "transfer.h"
#include "userint.h"
#include "utility.h"

#include <cstdio>

namespace {

enum Exit { kDone = 0, kLinkFailure = 1, kUnusableFile = 2, kDiffers = 3 };
constexpr double kWriteSettle = 0.1; // the sensor takes in a written frame before a read

// Every status text as the status line shows it: what the job did.
void PrintStatus(const char *text) { std::printf("status: %s\n", text); }

int Fail(int code) {
    std::fprintf(stderr, "kvor-rur-glint: %s\n", szStatus);
    return code;
}

void PrintWords(const char *title, const unsigned short *words) {
    std::printf("%s\n", title);
    for (int i = 0; i < PNUM; i++)
        std::printf("  %2d %-14s %u\n", i, ParameterWordName(i), words[i]);
}

// Waits with the events processed (the receive callback keeps working).
void Settle(double seconds) {
    const double t0 = Timer();
    while (Timer() - t0 < seconds) ProcessSystemEvents();
}

int Info() {
    if (g_identity.firmware.empty()) return Fail(kLinkFailure);
    for (const auto &[name, value] : HardwareWords())
        std::printf("%s %u\n", name.c_str(), value);
    std::printf("firmware %s\n", g_identity.firmware.c_str());
    return kDone;
}

int Backup(int memory, const char *path) {
    unsigned short words[PNUM];
    if (ReadParaFrame(memory, words) != 1) return Fail(kLinkFailure);
    PrintWords(memory == EEPROM ? "EEPROM words:" : "RAM words:", words);
    if (WriteParaFileWords(path, words) < 0) {
        SetStatus("Cannot write parameter file!");
        return Fail(kLinkFailure);
    }
    std::printf("written %s\n", path);
    return kDone;
}

int Restore(int memory, const unsigned short *fileWords) {
    // As a file loaded on the panels: the words, the range checks, the panels' own limits.
    std::copy(fileWords, fileWords + PNUM, pp);
    CopyPPtoVars();
    SetPAValues();
    if (SendParaFrame(memory) != 1) return Fail(kLinkFailure);
    const unsigned short *sent = parameter + PARAM_HEADER;
    for (int i = 0; i < PNUM; i++)
        if (sent[i] != fileWords[i])
            std::printf("word %d %s: file %u, sent %u (range check)\n", i,
                        ParameterWordName(i), fileWords[i], sent[i]);
    PrintWords(memory == EEPROM ? "sent to EEPROM:" : "sent to RAM:", sent);
    Settle(kWriteSettle);
    unsigned short back[PNUM];
    if (ReadParaFrame(memory, back) != 1) return Fail(kLinkFailure);
    int differ = 0;
    for (int i = 0; i < PNUM; i++) {
        if (back[i] == sent[i]) continue;
        differ++;
        std::printf("differs: word %d %s: sent %u, read back %u\n", i, ParameterWordName(i),
                    sent[i], back[i]);
    }
    if (differ == 0) {
        std::printf("read back: all 16 words equal\n");
        return kDone;
    }
    std::fprintf(stderr, "kvor-rur-glint: the read-back differs in %d words\n", differ);
    return kDiffers;
}

int RunJob(int (*appStart)(void), int (*appFinish)(void)) {
    const ServiceJobRequest job = g_serviceJob;
    const int memory = job.eeprom ? EEPROM : RAM;
    unsigned short fileWords[PNUM] = {};
    if (job.kind == SERVICE_JOB_RESTORE) { // a file that cannot be used needs no sensor
        const int count = ReadParaFileWords(job.file, fileWords);
        if (count < PNUM) {
            std::fprintf(stderr, "kvor-rur-glint: %s parameter file %s\n",
                         count < 0 ? "cannot read the" : "incomplete", job.file);
            return kUnusableFile;
        }
    }
    AttachHook(g_serviceHooks.status, PrintStatus);
    if (appStart() != 0) return kLinkFailure;
    int result = kLinkFailure;
    if (!g_identity.known)
        result = Fail(kLinkFailure);
    else if (job.kind == SERVICE_JOB_INFO)
        result = Info();
    else if (job.kind == SERVICE_JOB_BACKUP)
        result = Backup(memory, job.file);
    else
        result = Restore(memory, fileWords);
    DetachHook(g_serviceHooks.status, PrintStatus);
    appFinish();
    std::fflush(stdout);
    return result;
}

} // namespace

int RunServiceOrWindow(int (*appStart)(void), int (*appFinish)(void), int (*winMain)(void)) {
    if (g_serviceJob.kind == SERVICE_JOB_NONE) return winMain();
    return RunJob(appStart, appFinish);
}
