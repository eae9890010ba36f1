// Further instances of the program: starting them, handing an image block to
// one through its standard input, and taking such a block at start-up. No Qt
// here; the main window turns the results into messages.
//
// The stream on the pipe: a 4-byte little-endian count n, then the n bytes of
// the image block exactly as it lies in memory (header, palette, pixels), so
// n = 16 x width x height + KVZA_HEADER_BYTES.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kvza.h"

namespace kvzaedit {

// The program further instances run: this process's own executable, unless a
// test named another one with SetInstanceProgram.
std::string InstanceProgram();
// Test hook: the program started for further instances; empty = own executable.
void SetInstanceProgram(const std::string &path);

// The count n sent ahead of image's block, or 0 when the block cannot travel
// (no image, an empty size, or n + 4 beyond 32 bits).
uint64_t WireCount(const KvzaImage *image);

// Starts program with the arguments given as a process that is not left as
// this process's child (it is reparented at once, so no zombie remains, and it
// outlives this process). stdin_fd >= 0 becomes its standard input; with
// detached, it runs in a session of its own and its standard input is
// /dev/null. Standard output and error are this process's. false when no
// process could be forked; whether the program itself started is not known.
bool StartInstance(const std::string &program, const std::vector<std::string> &args, int stdin_fd,
                   bool detached);

// State of a block write that goes on after SendImage returned.
struct PendingWrite {
    enum { kRunning = 0, kDone = 1, kFailed = 2 };
    std::atomic<int> state{kRunning};
};

enum class SendStatus {
    Done,           // the whole stream is in the pipe
    Pending,        // the rest is written by a helper thread (see pending)
    TooLarge,       // n + 4 does not fit 32 bits, or no image
    PipeCreate,     // the pipe could not be made
    PipeDuplicate,  // the write end could not be duplicated
    PipeWrite,      // a write failed (the child has gone)
    OutOfMemory,    // no memory for the copy the helper thread writes
};

struct SendResult {
    SendStatus status = SendStatus::Done;
    std::shared_ptr<PendingWrite> pending;  // set with Pending
};

// Starts program with the pipe's read end as its standard input and writes n
// and the block of image. What fits in the pipe is written at once; when the
// child has not read enough yet, the rest is copied and written by a detached
// helper thread, which ends when everything is written or the child has gone
// (the write then fails instead of raising SIGPIPE). image stays with the
// caller and is not referred to after the return.
SendResult SendImage(const std::string &program, const KvzaImage *image);

// What the standard input of a process holds.
enum class InputKind {
    Closed,    // no descriptor
    Terminal,  // a terminal: never read
    Null,      // /dev/null or an empty regular file: nothing was sent
    Data,      // a pipe, a file with data, a socket: read it
};
InputKind ClassifyInput(int fd);

enum class ReceiveStatus {
    Nothing,      // no stream (end of input, short or zero count, nothing in time)
    Received,     // *image holds the block
    OutOfMemory,  // the block could not be allocated
    ReadFailed,   // the block was short, stalled, or disagrees with its header
};

// Waiting limits of ReceiveImage in milliseconds: for the first byte (a
// parent writes at once, so an input that stays silent this long sent
// nothing), and for any later byte. Once n is known, the whole block must
// also arrive within idle_ms plus the time n bytes take at bytes_per_second,
// so a parent that trickles bytes cannot keep the window from appearing.
struct ReceiveTimeouts {
    int first_ms = 1500;
    int idle_ms = 15000;
    uint64_t bytes_per_second = 50'000'000;
};

// Reads n and the block from fd (blocking or not). The block is used only when
// n equals 16 x width x height + KVZA_HEADER_BYTES of its own header with both
// sizes positive; reads continue until n bytes have arrived. The image is made
// with NewImage and belongs to the caller.
ReceiveStatus ReceiveImage(int fd, KvzaImage **image,
                           const ReceiveTimeouts &timeouts = ReceiveTimeouts{});

// Replaces fd by /dev/null: the input is closed for good, and the descriptor
// number is not handed to the next file opened.
void RetireInput(int fd);

}  // namespace kvzaedit
