// The parent keeps up to N children; each converts one file and writes its
// progress ("P step done total") and its result ("F ok reason") as lines to
// a pipe that the parent polls. The parent alone draws and reports.
#include "batch.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace kvzaconv {

namespace {

// Progress of a child, written to the parent as lines.
class PipeSink : public ProgressSink {
  public:
    explicit PipeSink(int fd) : fd_(fd) {}
    void Report(const char *step, uint32_t done, uint32_t total) override {
        char line[96];
        const int n = std::snprintf(line, sizeof line, "P %s %u %u\n", step, done, total);
        if (n > 0) WriteAll(fd_, line, static_cast<size_t>(n));
    }
    static void WriteAll(int fd, const char *data, size_t n) {
        while (n > 0) {
            const ssize_t done = write(fd, data, n);
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) return;
            data += done;
            n -= static_cast<size_t>(done);
        }
    }

  private:
    int fd_;
};

struct Child {
    pid_t pid = -1;
    int fd = -1;
    size_t job = 0;
    size_t slot = 0;
    std::string buffer;  // an incomplete line
    bool finished = false;
    bool ok = false;
    std::string reason;
};

// The child's side: converts, reports, ends without running the parent's
// exit handlers.
[[noreturn]] void RunChild(const Job &job, const Args &args, const SaveSettings &save, int fd) {
    PipeSink sink(fd);
    std::string reason;
    const bool ok = ConvertFile(job, args, save, &sink, reason);
    for (char &c : reason)
        if (c == '\n') c = ' ';
    const std::string line = std::string("F ") + (ok ? "1 " : "0 ") + reason + "\n";
    PipeSink::WriteAll(fd, line.data(), line.size());
    close(fd);
    _exit(ok ? 0 : 1);
}

// Takes the complete lines of a child's pipe.
void Consume(Child &c, ProgressDisplay &display) {
    size_t at;
    while ((at = c.buffer.find('\n')) != std::string::npos) {
        const std::string line = c.buffer.substr(0, at);
        c.buffer.erase(0, at + 1);
        if (line.rfind("P ", 0) == 0) {
            char step[32] = {};
            unsigned done = 0, total = 0;
            if (std::sscanf(line.c_str() + 2, "%31s %u %u", step, &done, &total) == 3)
                display.Update(c.slot, step, done, total);
        } else if (line.rfind("F ", 0) == 0 && line.size() >= 3) {
            c.finished = true;
            c.ok = line[2] == '1';
            c.reason = line.size() > 4 ? line.substr(4) : "";
        }
    }
}

bool Start(Child &c, const Job &job, const Args &args, const SaveSettings &save) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t pid = fork();
    if (pid < 0) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    if (pid == 0) {
        close(ends[0]);
        RunChild(job, args, save, ends[1]);
    }
    close(ends[1]);
    c.pid = pid;
    c.fd = ends[0];
    return true;
}

}  // namespace

size_t RunJobs(const std::vector<Job> &jobs, const Args &args, const SaveSettings &save,
               unsigned parallel, ProgressDisplay &display) {
    size_t next = 0, failed = 0;
    std::vector<Child> running;
    bool forwarded = false;
    auto report = [&](const Job &job, const std::string &reason) {
        ++failed;
        display.Message("kvzaconv: " + job.input + ": " + reason);
    };
    while (next < jobs.size() || !running.empty()) {
        if (CancelRequested() && !forwarded) {
            // A signal sent to this process alone reaches the children too.
            for (const Child &c : running) kill(c.pid, SIGINT);
            forwarded = true;
        }
        while (!CancelRequested() && next < jobs.size() && running.size() < parallel) {
            Child c;
            c.job = next;
            if (!Start(c, jobs[next], args, save)) {
                report(jobs[next], "out of memory");
                ++next;
                continue;
            }
            c.slot = display.Start(jobs[next].input);
            running.push_back(std::move(c));
            ++next;
        }
        if (CancelRequested() && next < jobs.size()) {
            for (; next < jobs.size(); ++next) report(jobs[next], "canceled");
        }
        if (running.empty()) continue;
        std::vector<pollfd> fds(running.size());
        for (size_t i = 0; i < running.size(); ++i) fds[i] = {running[i].fd, POLLIN, 0};
        const int ready = poll(fds.data(), fds.size(), 200);
        if (ready < 0 && errno != EINTR) break;
        for (size_t i = running.size(); i-- > 0;) {
            if (ready <= 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            Child &c = running[i];
            char data[4096];
            const ssize_t n = read(c.fd, data, sizeof data);
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) {
                c.buffer.append(data, static_cast<size_t>(n));
                Consume(c, display);
                continue;
            }
            // The child has closed its end: it has finished.
            close(c.fd);
            int status = 0;
            while (waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
            }
            display.Finish(c.slot);
            if (!c.finished)
                report(jobs[c.job],
                       WIFSIGNALED(status) && WTERMSIG(status) != SIGINT
                           ? "failed (" + std::string(strsignal(WTERMSIG(status))) + ")"
                           : "failed");
            else if (!c.ok)
                report(jobs[c.job], c.reason.empty() ? "failed" : c.reason);
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    display.Clear();
    return failed;
}

}  // namespace kvzaconv
