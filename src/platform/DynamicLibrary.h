#pragma once
// A shared library opened at run time (the bridge libraries), closed with
// the object, and the file to open: the one an environment variable names,
// or the usual one.
//
// Thread contract: one thread at a time.

#include <memory>
#include <string>

namespace velmora {

class DynamicLibrary {
public:
    // Null when the file cannot be loaded (missing, not a library, or one
    // whose own dependencies are missing).
    static std::unique_ptr<DynamicLibrary> Open(const std::string& path);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // The entry point, or null when the library has none of that name.
    void* Symbol(const char* name) const;
    const std::string& Path() const { return m_strPath; }
    // The file the loader found for Path(), a bare name being looked up
    // along the library path.
    std::string File() const;

private:
    DynamicLibrary(void* handle, std::string path) : m_pHandle(handle), m_strPath(std::move(path)) { }

    void* m_pHandle;
    std::string m_strPath;
};

// The value of the environment variable `variable` when it is set and not
// empty, else `usual`.
std::string LibraryPathFromEnvironment(const char* variable, const char* usual);

} // namespace velmora
