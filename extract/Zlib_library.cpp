#include "extract/Zlib_library.h"

#include "platform/Library.h"

#include <mutex>

namespace lib::dll {

namespace {

// Binding touches the library's handle and the function's address; the first calls from
// two threads must not both load.
std::mutex& binding_mutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

void Library::load()
{
    if (name_.empty())
        throw Exception("Library::load: name is empty");
    if (module_ != nullptr)
        return;
    module_ = platform::load_library(name_);
    if (module_ == nullptr)
        throw Exception("Library::load: can't load library '" + name_ + "'");
}

void* Library::get_proc_address(const char* proc_name)
{
    // A null handle would make dlsym search the whole program instead of this library.
    if (module_ == nullptr)
        load();
    void* address = platform::library_symbol(module_, proc_name);
    if (address == nullptr)
        throw Exception("Library::get_proc_address: can't find procedure '" + std::string(proc_name) +
                        "' in library '" + name_ + "'");
    return address;
}

void Library::unload() noexcept
{
    if (module_ != nullptr) {
        platform::unload_library(module_);
        module_ = nullptr;
    }
}

void FunctionBase::init(const char* proc_name, Library* library)
{
    proc_name_ = proc_name;
    library_ = library;
}

void FunctionBase::load()
{
    if (proc_name_ == nullptr)
        throw Exception("FunctionBase::load: name of procedure is not definded!");
    if (library_ == nullptr)
        throw Exception("FunctionBase::load: library is not definded!");
    if (bound())
        return;
    const std::lock_guard lock(binding_mutex());
    if (address_.load(std::memory_order_relaxed) != nullptr)
        return;
    address_.store(library_->get_proc_address(proc_name_), std::memory_order_release);
}

void* FunctionBase::bound_address()
{
    void* address = address_.load(std::memory_order_acquire);
    if (address == nullptr) {
        load();
        address = address_.load(std::memory_order_acquire);
    }
    return address;
}

} // namespace lib::dll

namespace lib {

Zlib::Zlib(std::string library_name) : library(std::move(library_name))
{
    compress.init("compress", &library);
    compress2.init("compress2", &library);
    uncompress.init("uncompress", &library);
}

Zlib& zlib_instance()
{
    static Zlib instance;
    return instance;
}

} // namespace lib
