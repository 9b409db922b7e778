#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdlib>

namespace velmora {

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& path)
{
    // Its symbols stay its own: two bridge libraries loaded one after the
    // other must not bind to each other's functions.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return nullptr;
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle, path));
}

DynamicLibrary::~DynamicLibrary()
{
    ::dlclose(m_pHandle);
}

std::string DynamicLibrary::File() const
{
    link_map* map = nullptr;
    if (::dlinfo(m_pHandle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr &&
        map->l_name[0] != '\0')
        return map->l_name;
    return m_strPath;
}

void* DynamicLibrary::Symbol(const char* name) const
{
    return ::dlsym(m_pHandle, name);
}

std::string LibraryPathFromEnvironment(const char* variable, const char* usual)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? std::string(value) : std::string(usual);
}

} // namespace velmora
