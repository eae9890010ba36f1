#include "dynlib.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace kvzaedit {

namespace {

// Folder of the running program, from /proc/self/exe; "." when unknown.
std::string ExecutableDir() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t got = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (got <= 0) return ".";
    std::string path(buffer.data(), static_cast<size_t>(got));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string &ProgramDirSlot() {
    static std::string dir = ExecutableDir();
    return dir;
}

}  // namespace

void SetProgramDir(const std::string &dir) {
    ProgramDirSlot() = dir;
}

const std::string &ProgramDir() {
    return ProgramDirSlot();
}

DynLib::~DynLib() {
    close();
}

DynLib::DynLib(DynLib &&other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

DynLib &DynLib::operator=(DynLib &&other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

bool DynLib::open(const std::string &name) {
    close();
    // An empty name would give the program itself; it names no library.
    if (name.empty()) return false;
    if (name.find('/') == std::string::npos) {
        const std::string &dir = ProgramDir();
        if (!dir.empty()) {
            const std::string local = (dir.back() == '/' ? dir : dir + "/") + name;
            handle_ = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
        }
    }
    if (handle_ == nullptr) handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

void *DynLib::sym(const char *name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return dlsym(handle_, name);
}

void DynLib::close() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

}  // namespace kvzaedit
