/* ToolRun.h — running the built crumbleforge command (and helper programs such as ffmpeg) as a user
   would, capturing what they print and how they end. */
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace cftest {

struct RunResult {
    int exitCode = -1; /* -1 when the program was killed by a signal */
    int signal = 0;
    long peakKiB = 0; /* the largest resident size of the program, or of a program it started and waited for */
    std::string out;
    std::string err;
};

/* A program started in the background; its output goes to files until wait() collects it. */
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::filesystem::path& cwd = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const noexcept { return pid_; }
    RunResult wait();

private:
    pid_t pid_ = -1;
    std::filesystem::path outFile_;
    std::filesystem::path errFile_;
    bool waited_ = false;
};

RunResult runProgram(const std::vector<std::string>& argv, const std::filesystem::path& cwd = {});

/* The crumbleforge command with these arguments. */
RunResult runTool(const std::vector<std::string>& args, const std::filesystem::path& cwd = {});
std::vector<std::string> toolCommand(const std::vector<std::string>& args);

/* ffmpeg with -v error -y prepended; fails the test when ffmpeg fails. */
void ffmpeg(const std::vector<std::string>& args);

/* A compact description of a run for failure messages. */
std::string describe(const RunResult& r);

} // namespace cftest
