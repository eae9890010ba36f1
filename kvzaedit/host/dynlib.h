// Loading plug-in libraries. A bare library name is looked for in the
// program's folder first, then by the system's search; a name containing a
// "/" is used as it stands.
#pragma once

#include <string>

namespace kvzaedit {

// Sets the folder bare library names are looked for in first.
void SetProgramDir(const std::string &dir);
// That folder; by default the folder of the running program (/proc/self/exe).
const std::string &ProgramDir();

// A loaded library, unloaded when the object goes (or on close / re-open).
class DynLib {
  public:
    DynLib() = default;
    ~DynLib();
    DynLib(const DynLib &) = delete;
    DynLib &operator=(const DynLib &) = delete;
    DynLib(DynLib &&other) noexcept;
    DynLib &operator=(DynLib &&other) noexcept;

    // Loads name (RTLD_NOW | RTLD_LOCAL); false when it cannot be loaded.
    bool open(const std::string &name);
    // The address of an exported symbol, or nullptr.
    void *sym(const char *name) const;
    void *sym(const std::string &name) const { return sym(name.c_str()); }
    bool loaded() const { return handle_ != nullptr; }
    // Unloads the library (no-op when none is loaded).
    void close();

  private:
    void *handle_ = nullptr;
};

}  // namespace kvzaedit
