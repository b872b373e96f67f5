/* Module.h — a loaded effect module (shared object on POSIX, DLL on Windows): loads on construction,
   looks up exported symbols, unloads on destruction. */
#pragma once

#include <filesystem>
#include <string>

namespace cfhost {

class Module {
public:
    /* Throws HostError naming the path and the loader's own message when the module cannot be loaded. */
    explicit Module(const std::filesystem::path& path);
    Module(Module&& other) noexcept;
    Module& operator=(Module&& other) noexcept;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    ~Module();

    const std::filesystem::path& path() const noexcept { return path_; }

    /* Address of an exported symbol, or null when the module does not export it. */
    void* symbol(const char* name) const noexcept;

    /* An exported function; throws HostError naming the symbol and the module when it is missing. */
    template <class Function>
    Function function(const char* name) const
    {
        return reinterpret_cast<Function>(require(name));
    }

private:
    void* require(const char* name) const;

    std::filesystem::path path_;
    void* handle_ = nullptr;
};

} // namespace cfhost
