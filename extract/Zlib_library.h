#pragma once
// Libraries loaded at run time and functions bound in them by name, and the zlib binding
// built on that.
//
// The program does not link zlib: lib::Zlib loads "libz.so.1" on the first call of one of
// its functions, so a machine without it fails only the packages that need it. Errors are
// lib::dll::Exception with a fixed English text naming the library or the export.
// A failed load or bind changes nothing, so the next call tries again.
//
// Threads: a Library on its own belongs to one thread at a time. Binding a function
// (its first call) is serialised inside, so the program-wide zlib_instance() may be
// called from more than one thread.

#include <boost/noncopyable.hpp>

#include <atomic>
#include <bit>
#include <stdexcept>
#include <string>

namespace lib::dll {

// Message stored as UTF-8.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A shared library by file name, handed to the system loader as it is (a name without '/'
// goes through the loader's search path). Unloaded on destruction.
class Library : private boost::noncopyable {
public:
    explicit Library(std::string name) : name_(std::move(name)) {}
    ~Library() { unload(); }

    // Does nothing when the library is loaded already.
    void load();
    // The address of an exported symbol; loads the library first when needed.
    void* get_proc_address(const char* proc_name);
    void unload() noexcept;

    const std::string& name() const { return name_; }
    bool loaded() const { return module_ != nullptr; }
    // The loader's handle, null while not loaded.
    void* module() const { return module_; }

private:
    std::string name_;
    void* module_ = nullptr;
};

// A function of a library, bound on first use. Neither the name nor the library is owned:
// both must outlive the object.
class FunctionBase : private boost::noncopyable {
public:
    FunctionBase() = default;

    void init(const char* proc_name, Library* library);
    // Binds the function (loading the library if needed); nothing when it is bound already.
    void load();

    const char* proc_name() const { return proc_name_; }
    Library* library() const { return library_; }
    bool bound() const { return address_.load(std::memory_order_acquire) != nullptr; }

protected:
    void* bound_address();

private:
    const char* proc_name_ = nullptr;
    Library* library_ = nullptr;
    std::atomic<void*> address_{nullptr};
};

// A C function R(Args...) of a library; calling the object binds it when needed.
template <class R, class... Args>
class CdeclFunction : public FunctionBase {
public:
    using Pointer = R (*)(Args...);

    R operator()(Args... args) { return std::bit_cast<Pointer>(bound_address())(args...); }
};

template <class R, class A1, class A2, class A3, class A4>
using CdeclFunction4 = CdeclFunction<R, A1, A2, A3, A4>;

template <class R, class A1, class A2, class A3, class A4, class A5>
using CdeclFunction5 = CdeclFunction<R, A1, A2, A3, A4, A5>;

} // namespace lib::dll

namespace lib {

// zlib's one-shot functions with zlib's own signatures: destination, in-out destination
// length, source, source length (and level for compress2); the result is zlib's status,
// 0 for success.
class Zlib : private boost::noncopyable {
public:
    static constexpr const char* default_library_name = "libz.so.1";

    using CompressFunction =
        dll::CdeclFunction4<int, unsigned char*, unsigned long*, const unsigned char*, unsigned long>;
    using Compress2Function =
        dll::CdeclFunction5<int, unsigned char*, unsigned long*, const unsigned char*, unsigned long, int>;

    // Nothing is loaded here; another name serves tests of a missing or wrong library.
    explicit Zlib(std::string library_name = default_library_name);

    // Declared before the functions, which point to it.
    dll::Library library;
    CompressFunction compress;
    Compress2Function compress2;
    CompressFunction uncompress;
};

// The program's one binding of the system's zlib, made on the first request and kept to
// the end of the program; the library is loaded once, on the first call that succeeds.
Zlib& zlib_instance();

} // namespace lib
