#include "fuzz_program.h"

#include "com232.h"
#include "rs232.h"
#include "sim.h"
#include "utility.h"
#include "winmain.h"

#include <QApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace fuzz {
namespace {

// The sensor's end of the line. Lives for the whole process (never destroyed: libFuzzer
// ends the process with exit()).
class ScriptedSensor {
  public:
    bool Open() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
        const char *name = ptsname(master_);
        if (!name) return false;
        path_ = name;
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        // Held open so the line does not look hung up before the program opens it.
        slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        if (slave_ < 0 || tcgetattr(slave_, &t) != 0) return false;
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        std::thread([this] { Serve(); }).detach();
        return true;
    }
    const std::string &Path() const { return path_; }

    void AnswerNext(int command, const Bytes &reply) {
        std::lock_guard<std::mutex> lock(mu_);
        script_[command].push_back(reply);
    }
    void Forget() {
        std::lock_guard<std::mutex> lock(mu_);
        script_.clear();
    }
    void Put(const uint8_t *bytes, size_t n) { WriteAll(bytes, n); }
    // Hands what was written to the program's end of the line now. A poll on that end that
    // finds too little pushes the kernel's pending receive buffer into its input queue and
    // returns once that is done, instead of after a scheduler tick.
    void Deliver() {
        pollfd p = {slave_, POLLIN, 0};
        poll(&p, 1, 0);
    }

  private:
    void Serve() {
        SimSettings s;
        SimModel model(s);
        Bytes pending;
        uint8_t buf[512];
        for (;;) {
            pollfd p = {master_, POLLIN, 0};
            if (poll(&p, 1, -1) < 0 && errno != EINTR) return;
            const ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0) {
                if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    // No reader on the program's side yet (EIO): wait a little.
                    timespec ts{0, 1000000};
                    nanosleep(&ts, nullptr);
                }
                continue;
            }
            pending.insert(pending.end(), buf, buf + n);
            // The program writes whole request frames: 0x00 0x55, command word, payload.
            size_t at = 0;
            while (pending.size() - at >= size_t(TX_FRAME_LEN)) {
                if (pending[at] != 0x00 || pending[at + 1] != sync_char) {
                    at++;
                    continue;
                }
                const int command = pending[at + 2] << 8 | pending[at + 3];
                Bytes reply;
                bool scripted = false;
                {
                    std::lock_guard<std::mutex> lock(mu_);
                    auto it = script_.find(command);
                    if (it != script_.end() && !it->second.empty()) {
                        reply = std::move(it->second.front());
                        it->second.pop_front();
                        scripted = true;
                    }
                }
                if (!scripted) reply = model.Answer(&pending[at]);
                at += size_t(TX_FRAME_LEN);
                WriteAll(reply.data(), reply.size());
            }
            pending.erase(pending.begin(), pending.begin() + long(at));
        }
    }
    void WriteAll(const uint8_t *bytes, size_t n) {
        size_t sent = 0;
        while (sent < n) {
            const ssize_t w = write(master_, bytes + sent, n - sent);
            if (w > 0) {
                sent += size_t(w);
            } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p = {master_, POLLOUT, 0};
                if (poll(&p, 1, 100) == 0) return; // the program reads nothing: give up
            } else {
                return;
            }
        }
    }

    int master_ = -1, slave_ = -1;
    std::string path_;
    std::mutex mu_;
    std::map<int, std::deque<Bytes>> script_;
};

ScriptedSensor *g_sensor = nullptr;
std::string g_dir;

void Fail(const char *what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

} // namespace

void StartProgram() {
    if (g_sensor) return;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "kvor-fuzz";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives for the process
    WorkDir();
    SetProjectDirOverride(g_dir.c_str());
    g_sensor = new ScriptedSensor;
    if (!g_sensor->Open()) Fail("no pseudo-terminal");
    AssignPortDevice(1, g_sensor->Path().c_str());
    if (AppStart() != 0) Fail("the program did not start (panel resource beside the harness?)");
}

void AnswerNext(int command, const Bytes &reply) {
    g_sensor->AnswerNext(command, reply);
}

void ForgetAnswers() {
    g_sensor->Forget();
}

void PutOnLine(const uint8_t *bytes, size_t n) {
    if (n > kMaxLineBytes) n = kMaxLineBytes;
    FlushInQ(com);
    if (n == 0) return;
    g_sensor->Put(bytes, n);
    g_sensor->Deliver();
    // Normally all there after Deliver; a loaded machine may take a little longer.
    for (int i = 0; i < 20000 && GetInQLen(com) < int(n); i++) {
        timespec ts{0, 10000};
        nanosleep(&ts, nullptr);
        g_sensor->Deliver();
    }
}

void DeliverEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

const std::string &WorkDir() {
    if (g_dir.empty()) {
        // In memory where the machine has it: the file harnesses write a file per input.
        char shm[] = "/dev/shm/kvor-fuzz-XXXXXX";
        char tmp[] = "/tmp/kvor-fuzz-XXXXXX";
        const char *made = mkdtemp(shm);
        if (!made) made = mkdtemp(tmp);
        if (!made) Fail("no temporary folder");
        g_dir = made;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(g_dir, ignored);
        });
    }
    return g_dir;
}

bool WriteFile(const std::string &path, const uint8_t *data, size_t n) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = n == 0 || std::fwrite(data, 1, n, f) == n;
    return std::fclose(f) == 0 && ok;
}

} // namespace fuzz
