#include "instances.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "image_alloc.h"

extern char **environ;

namespace kvzaedit {

namespace {

// A descriptor 0 that is closed when the process starts would be handed to
// the first file or socket the process opens (the window system's connection,
// say), which would then pass for a standard input with data. Occupying it
// with /dev/null before main keeps "closed" meaning "nothing was sent".
[[maybe_unused]] const bool g_input_reserved = [] {
    if (fcntl(STDIN_FILENO, F_GETFD) != -1 || errno != EBADF) return false;
    const int nul = open("/dev/null", O_RDONLY);
    if (nul < 0) return false;
    if (nul != STDIN_FILENO) {
        dup2(nul, STDIN_FILENO);
        close(nul);
    }
    return true;
}();

std::mutex g_program_mutex;
std::string g_program;

// Largest pipe an unprivileged process may ask for, or 0 when unknown.
int PipeMaxSize() {
    FILE *f = std::fopen("/proc/sys/fs/pipe-max-size", "r");
    if (f == nullptr) return 0;
    long value = 0;
    const int got = std::fscanf(f, "%ld", &value);
    std::fclose(f);
    if (got != 1 || value <= 0) return 0;
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// Grows the pipe towards bytes, within the system's limit for pipes; a pipe
// that cannot grow keeps its size (the helper thread writes what it lacks).
void RaisePipeCapacity(int fd, uint64_t bytes) {
    const int current = fcntl(fd, F_GETPIPE_SZ);
    if (current >= 0 && static_cast<uint64_t>(current) >= bytes) return;
    int want = bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes);
    const int limit = PipeMaxSize();
    if (limit > 0 && want > limit) want = limit;
    if (current >= 0 && want <= current) return;
    fcntl(fd, F_SETPIPE_SZ, want);
}

void IgnoreSigpipe() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = SIG_IGN;
        sigemptyset(&action.sa_mask);
        sigaction(SIGPIPE, &action, nullptr);
    });
}

// Writes everything in blocking mode; false on any failure (EPIPE once the
// reading side has gone).
bool WriteAll(int fd, const uint8_t *data, uint64_t bytes) {
    while (bytes > 0) {
        const size_t chunk = bytes > (1u << 30) ? (1u << 30) : static_cast<size_t>(bytes);
        const ssize_t done = write(fd, data, chunk);
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += done;
        bytes -= static_cast<uint64_t>(done);
    }
    return true;
}

enum class WriteStep { Complete, Full, Failed };

// Writes as much as the non-blocking pipe takes; *written counts the bytes.
WriteStep WriteNow(int fd, const uint8_t *data, uint64_t bytes, uint64_t *written) {
    *written = 0;
    while (*written < bytes) {
        const uint64_t left = bytes - *written;
        const size_t chunk = left > (1u << 30) ? (1u << 30) : static_cast<size_t>(left);
        const ssize_t done = write(fd, data + *written, chunk);
        if (done < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return WriteStep::Full;
            return WriteStep::Failed;
        }
        *written += static_cast<uint64_t>(done);
    }
    return WriteStep::Complete;
}

enum class ReadOutcome { Complete, End, Failed, Silent };

using Clock = std::chrono::steady_clock;

// Reads exactly bytes, waiting at most first_ms for the first byte and
// idle_ms for each later one (a negative limit waits for ever), and never
// past the deadline.
ReadOutcome ReadFull(int fd, uint8_t *dst, uint64_t bytes, int first_ms, int idle_ms,
                     Clock::time_point deadline = Clock::time_point::max()) {
    uint64_t got = 0;
    bool first = true;
    while (got < bytes) {
        struct pollfd p {};
        p.fd = fd;
        p.events = POLLIN;
        int wait_ms = first ? first_ms : idle_ms;
        if (deadline != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return ReadOutcome::Silent;
            if (wait_ms < 0 || left.count() < wait_ms) wait_ms = static_cast<int>(left.count());
        }
        const int ready = poll(&p, 1, wait_ms);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return ReadOutcome::Failed;
        }
        if (ready == 0) return ReadOutcome::Silent;
        const uint64_t left = bytes - got;
        const size_t chunk = left > (1u << 30) ? (1u << 30) : static_cast<size_t>(left);
        const ssize_t done = read(fd, dst + got, chunk);
        if (done < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return ReadOutcome::Failed;
        }
        if (done == 0) return ReadOutcome::End;
        got += static_cast<uint64_t>(done);
        first = false;
    }
    return ReadOutcome::Complete;
}

// When the block of n bytes must have arrived, counted from now.
Clock::time_point BlockDeadline(uint64_t n, const ReceiveTimeouts &t) {
    if (t.idle_ms < 0) return Clock::time_point::max();
    const uint64_t rate = t.bytes_per_second == 0 ? 1 : t.bytes_per_second;
    const auto transfer = std::chrono::milliseconds(n / rate * 1000 + n % rate * 1000 / rate);
    return Clock::now() + std::chrono::milliseconds(t.idle_ms) + transfer;
}

}  // namespace

std::string InstanceProgram() {
    {
        std::lock_guard<std::mutex> lock(g_program_mutex);
        if (!g_program.empty()) return g_program;
    }
    char path[PATH_MAX + 1];
    const ssize_t len = readlink("/proc/self/exe", path, PATH_MAX);
    if (len <= 0) return "/proc/self/exe";
    return std::string(path, static_cast<size_t>(len));
}

void SetInstanceProgram(const std::string &path) {
    std::lock_guard<std::mutex> lock(g_program_mutex);
    g_program = path;
}

uint64_t WireCount(const KvzaImage *image) {
    if (image == nullptr) return 0;
    const uint64_t n = ImageBlockBytes(image->width, image->height);
    if (n == 0 || n > UINT32_MAX - 4u) return 0;
    return n;
}

bool StartInstance(const std::string &program, const std::vector<std::string> &args, int stdin_fd,
                   bool detached) {
    // Everything the new process needs is made before forking: between fork
    // and exec only async-signal-safe calls are allowed.
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);

    const pid_t middle = fork();
    if (middle < 0) return false;
    if (middle == 0) {
        // The middle process only forks the instance and leaves, so the
        // instance is reparented at once and never waits as a zombie here.
        if (detached) setsid();
        const pid_t child = fork();
        if (child != 0) _exit(child < 0 ? 1 : 0);
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        sigaction(SIGPIPE, &action, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (detached) {
            const int nul = open("/dev/null", O_RDONLY);
            if (nul >= 0 && nul != STDIN_FILENO) {
                dup2(nul, STDIN_FILENO);
                close(nul);
            }
        } else if (stdin_fd >= 0) {
            if (stdin_fd != STDIN_FILENO)
                dup2(stdin_fd, STDIN_FILENO);  // the copy is not closed on exec
            else
                fcntl(STDIN_FILENO, F_SETFD, 0);
        }
        execve(argv[0], argv.data(), environ);
        _exit(127);
    }
    int status = 0;
    while (waitpid(middle, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

SendResult SendImage(const std::string &program, const KvzaImage *image) {
    SendResult result;
    const uint64_t n = WireCount(image);
    if (n == 0) {
        result.status = SendStatus::TooLarge;
        return result;
    }
    IgnoreSigpipe();
    // Both ends close on exec; the child's standard input is a copy.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        result.status = SendStatus::PipeCreate;
        return result;
    }
    RaisePipeCapacity(ends[1], n + 4);
    // A duplicate of the write end is made and dropped at once: the check
    // that the handle can be duplicated is kept, no second handle stays.
    const int spare = fcntl(ends[1], F_DUPFD_CLOEXEC, 0);
    if (spare < 0) {
        close(ends[0]);
        close(ends[1]);
        result.status = SendStatus::PipeDuplicate;
        return result;
    }
    close(spare);
    StartInstance(program, {}, ends[0], false);  // the start is not examined
    close(ends[0]);

    const int fd = ends[1];
    const uint8_t head[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                             static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 24)};
    const auto *block = reinterpret_cast<const uint8_t *>(image);
    // What fits in the pipe goes at once, without blocking the caller.
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    uint64_t head_done = 0, block_done = 0;
    WriteStep step = WriteNow(fd, head, 4, &head_done);
    if (step == WriteStep::Complete) step = WriteNow(fd, block, n, &block_done);
    if (step == WriteStep::Complete) {
        close(fd);
        return result;
    }
    if (step == WriteStep::Failed) {
        close(fd);
        result.status = SendStatus::PipeWrite;
        return result;
    }
    // The child has not read enough yet: the rest is copied (the caller's
    // image may change or go once this returns) and written by a helper.
    const uint64_t rest = (4 - head_done) + (n - block_done);
    uint8_t *copy = new (std::nothrow) uint8_t[static_cast<size_t>(rest)];
    if (copy == nullptr) {
        close(fd);
        result.status = SendStatus::OutOfMemory;
        return result;
    }
    std::memcpy(copy, head + head_done, static_cast<size_t>(4 - head_done));
    std::memcpy(copy + (4 - head_done), block + block_done, static_cast<size_t>(n - block_done));
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    auto pending = std::make_shared<PendingWrite>();
    try {
        std::thread([fd, copy, rest, pending] {
            const bool ok = WriteAll(fd, copy, rest);
            close(fd);
            delete[] copy;
            pending->state.store(ok ? PendingWrite::kDone : PendingWrite::kFailed);
        }).detach();
    } catch (const std::system_error &) {
        close(fd);
        delete[] copy;
        result.status = SendStatus::OutOfMemory;
        return result;
    }
    result.status = SendStatus::Pending;
    result.pending = std::move(pending);
    return result;
}

InputKind ClassifyInput(int fd) {
    if (fcntl(fd, F_GETFD) == -1) return InputKind::Closed;
    if (isatty(fd)) return InputKind::Terminal;
    struct stat st {};
    if (fstat(fd, &st) != 0) return InputKind::Closed;
    if (S_ISCHR(st.st_mode)) {
        struct stat nul {};
        if (stat("/dev/null", &nul) == 0 && S_ISCHR(nul.st_mode) && nul.st_rdev == st.st_rdev)
            return InputKind::Null;
    }
    if (S_ISREG(st.st_mode) && st.st_size == 0) return InputKind::Null;
    return InputKind::Data;
}

ReceiveStatus ReceiveImage(int fd, KvzaImage **image, const ReceiveTimeouts &timeouts) {
    *image = nullptr;
    uint8_t head[4];
    if (ReadFull(fd, head, 4, timeouts.first_ms, timeouts.idle_ms) != ReadOutcome::Complete)
        return ReceiveStatus::Nothing;
    const uint64_t n = static_cast<uint64_t>(head[0]) | (static_cast<uint64_t>(head[1]) << 8) |
                       (static_cast<uint64_t>(head[2]) << 16) |
                       (static_cast<uint64_t>(head[3]) << 24);
    if (n == 0) return ReceiveStatus::Nothing;
    if (n < KVZA_HEADER_BYTES + sizeof(KvzaPixel)) return ReceiveStatus::ReadFailed;
    const Clock::time_point deadline = BlockDeadline(n, timeouts);
    // The sizes come first: n must be the block of exactly that many pixels
    // before anything is allocated.
    int32_t sizes[2];
    if (ReadFull(fd, reinterpret_cast<uint8_t *>(sizes), sizeof sizes, timeouts.idle_ms,
                 timeouts.idle_ms, deadline) != ReadOutcome::Complete)
        return ReceiveStatus::ReadFailed;
    if (ImageBlockBytes(sizes[0], sizes[1]) != n) return ReceiveStatus::ReadFailed;
    KvzaImage *block = NewImage(nullptr, sizes[0], sizes[1]);
    if (block == nullptr) return ReceiveStatus::OutOfMemory;
    auto *bytes = reinterpret_cast<uint8_t *>(block);
    std::memcpy(bytes, sizes, sizeof sizes);
    if (ReadFull(fd, bytes + sizeof sizes, n - sizeof sizes, timeouts.idle_ms, timeouts.idle_ms,
                 deadline) != ReadOutcome::Complete) {
        ReleaseImage(block);
        return ReceiveStatus::ReadFailed;
    }
    *image = block;
    return ReceiveStatus::Received;
}

void RetireInput(int fd) {
    const int nul = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nul < 0) {
        close(fd);
        return;
    }
    if (nul != fd) {
        dup2(nul, fd);  // the copy keeps the descriptor open across exec
        close(nul);
    } else {
        fcntl(fd, F_SETFD, 0);
    }
}

}  // namespace kvzaedit
