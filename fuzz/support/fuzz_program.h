// The whole program for the harnesses that feed it bytes from the line: the offscreen Qt
// application, the panels, and port 1 on a real pseudo-terminal whose other end is served
// by a scripted sensor (a thread of this process). Requests that no script answers are
// answered by the simulated sensor's model, so start-up and every other exchange work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

using Bytes = std::vector<uint8_t>;

// Starts everything on the first call (start-up with its probe included) and returns.
void StartProgram();

// The next request with this command word is answered with exactly these bytes.
void AnswerNext(int command, const Bytes &reply);
// Forgets every scripted answer not used yet.
void ForgetAnswers();

// Empties the port's input queue, writes `bytes` to the line and returns once the port's
// input queue holds them all (at once as a rule; at most about 0.2 s). At most
// kMaxLineBytes are written.
constexpr size_t kMaxLineBytes = 2048;
void PutOnLine(const uint8_t *bytes, size_t n);

// Runs what the event loop has pending (a port notifier among it), as ProcessSystemEvents
// does, but returns at once when nothing is pending instead of sleeping a millisecond.
void DeliverEvents();

// A folder of this process, for the files a harness writes.
const std::string &WorkDir();
// Writes a file whole; false when it cannot.
bool WriteFile(const std::string &path, const uint8_t *data, size_t n);

} // namespace fuzz
