#include "safe_replace.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace kvzaedit {

namespace {

// The permission bits a newly created file gets: 0666 less the umask. The
// umask can only be read by setting it, so it is put straight back (the
// program creates files from one thread only).
mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Writes the file's data through to the disk, so that a crash after the
// rename cannot leave the target empty with the old content gone. Errors
// that the writer's buffered writes never saw (a full disk on a network
// file system) show up here too.
bool FlushToDisk(const std::string &path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = fsync(fd) == 0;
    return close(fd) == 0 && synced;
}

}  // namespace

SafeReplace::SafeReplace(const std::string &target) : target_(target), write_path_(target) {
    struct stat st;
    if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char *real = realpath(target.c_str(), nullptr);
        // A link to nothing is written through as it stands: the writer
        // creates the file it names.
        if (real == nullptr) return;
        target_ = real;
        free(real);
        write_path_ = target_;
    }
    existed_ = stat(target_.c_str(), &st) == 0;
    // A device, a pipe or a folder is written in place: a rename would
    // replace the node itself.
    if (existed_ && !S_ISREG(st.st_mode)) return;

    // A hidden name beside the target, so that the rename stays on one file
    // system: "dir/.name.XXXXXX".
    const size_t slash = target_.rfind('/');
    const size_t name_at = slash == std::string::npos ? 0 : slash + 1;
    const std::string pattern =
        target_.substr(0, name_at) + "." + target_.substr(name_at) + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    // No temporary file can be made there (a read-only folder, a name at the
    // length limit): the target is written in place as before, so that a
    // writable file in a read-only folder can still be saved.
    if (fd < 0) return;
    if (existed_) {
        // Owner and group are kept where the system allows it (root, or a
        // group the user belongs to); otherwise the new file is the user's.
        [[maybe_unused]] const int kept = fchown(fd, st.st_uid, st.st_gid);
        fchmod(fd, st.st_mode & 07777);
    } else {
        fchmod(fd, NewFileMode());
    }
    close(fd);
    write_path_ = temp.data();
    pending_ = true;
}

SafeReplace::~SafeReplace() {
    Abandon();
}

bool SafeReplace::Commit() {
    if (!pending_) return true;
    pending_ = false;
    if (FlushToDisk(write_path_) && std::rename(write_path_.c_str(), target_.c_str()) == 0)
        return true;
    unlink(write_path_.c_str());
    return false;
}

void SafeReplace::Abandon() {
    if (!pending_) return;
    pending_ = false;
    if (existed_ || std::rename(write_path_.c_str(), target_.c_str()) != 0)
        unlink(write_path_.c_str());
}

}  // namespace kvzaedit
