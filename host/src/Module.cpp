/* Module.cpp — the only platform-specific file of the library: dlopen/dlsym on POSIX,
   LoadLibraryW/GetProcAddress on Windows. */
#include "cfhost/Module.h"

#include <utility>

#include "cfhost/HostError.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace cfhost {
namespace {

#if defined(_WIN32)

std::string lastLoaderMessage()
{
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (length != 0 && text != nullptr) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        message.resize(static_cast<std::size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), message.data(), bytes, nullptr, nullptr);
        LocalFree(text);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
            message.pop_back();
        }
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

void* openModule(const std::filesystem::path& path, std::string& error)
{
    HMODULE module = LoadLibraryW(path.wstring().c_str());
    if (module == nullptr) {
        error = lastLoaderMessage();
    }
    return reinterpret_cast<void*>(module);
}

void closeModule(void* handle) noexcept
{
    FreeLibrary(reinterpret_cast<HMODULE>(handle));
}

void* findSymbol(void* handle, const char* name) noexcept
{
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}

#else

void* openModule(const std::filesystem::path& path, std::string& error)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* message = dlerror();
        error = message != nullptr ? message : "unknown loader error";
    }
    return handle;
}

void closeModule(void* handle) noexcept
{
    dlclose(handle);
}

void* findSymbol(void* handle, const char* name) noexcept
{
    return dlsym(handle, name);
}

#endif

} // namespace

Module::Module(const std::filesystem::path& path) : path_(path)
{
    std::string error;
    handle_ = openModule(path, error);
    if (handle_ == nullptr) {
        throw HostError("cannot load module '" + path.u8string() + "': " + error);
    }
}

Module::Module(Module&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, nullptr))
{
}

Module& Module::operator=(Module&& other) noexcept
{
    if (this != &other) {
        if (handle_ != nullptr) {
            closeModule(handle_);
        }
        path_ = std::move(other.path_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

Module::~Module()
{
    if (handle_ != nullptr) {
        closeModule(handle_);
    }
}

void* Module::symbol(const char* name) const noexcept
{
    return handle_ != nullptr && name != nullptr ? findSymbol(handle_, name) : nullptr;
}

void* Module::require(const char* name) const
{
    void* address = symbol(name);
    if (address == nullptr) {
        throw HostError("module '" + path_.u8string() + "' does not export '" + (name ? name : "") + "'");
    }
    return address;
}

} // namespace cfhost
