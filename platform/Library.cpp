#include "platform/Library.h"

#include <dlfcn.h>

namespace platform {

void* load_library(const std::string& name)
{
    return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* library_symbol(void* library, const char* name)
{
    // A null handle would make dlsym search the whole program instead of this library.
    return library != nullptr ? ::dlsym(library, name) : nullptr;
}

void unload_library(void* library) noexcept
{
    if (library != nullptr)
        ::dlclose(library);
}

} // namespace platform
