/* Scratch.h — a fresh folder per test, removed afterwards, and a look at what is in it. */
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cftest {

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    /* Names of everything in the folder (hidden ones included), sorted. */
    std::vector<std::string> entries() const;

private:
    std::filesystem::path path_;
};

std::vector<std::string> entriesOf(const std::filesystem::path& folder);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

} // namespace cftest
