// Replacing a file so that a write that fails half-way never destroys it: the
// new content goes to a hidden temporary file beside the file it replaces and
// is renamed over it only once complete.
#pragma once

#include <string>

namespace kvzaedit {

class SafeReplace {
  public:
    // Prepares a write to target. A symbolic link is followed: the file it
    // points to is replaced and the link stays. The temporary file gets the
    // permission bits of the file it replaces, or those of a new file.
    explicit SafeReplace(const std::string &target);
    // A write that was neither committed nor abandoned is abandoned.
    ~SafeReplace();
    SafeReplace(const SafeReplace &) = delete;
    SafeReplace &operator=(const SafeReplace &) = delete;

    // The file the writer is to create or truncate and fill.
    const std::string &WritePath() const { return write_path_; }

    // The write is complete: the temporary file is flushed to disk and
    // renamed over the target. false when that fails; the target is then as
    // it was and the temporary file is gone.
    bool Commit();
    // The write failed or was stopped: a file that existed keeps its old
    // content; when there was none, what was written stays under its name.
    void Abandon();

  private:
    std::string target_;      // the file replaced (links resolved)
    std::string write_path_;  // the temporary file, or target_ when writing in place
    bool existed_ = false;    // target_ was there before the write
    bool pending_ = false;    // a temporary file is waiting for Commit or Abandon
};

}  // namespace kvzaedit
