#pragma once
// Loading a shared library at run time and finding its exports by name (dlopen, dlsym).
//
// Symbols of a loaded library stay local to it, so that they never stand in for anyone
// else's. Nothing here throws; the caller words its own errors.

#include <string>

namespace platform {

// The library's handle, or null when it cannot be loaded.
void* load_library(const std::string& name);
// The address of an export of a loaded library, or null.
void* library_symbol(void* library, const char* name);
void unload_library(void* library) noexcept;

} // namespace platform
