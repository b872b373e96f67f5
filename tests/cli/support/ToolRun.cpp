/* ToolRun.cpp — posix_spawn with output redirected to files, and waiting. */
#include "ToolRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "Scratch.h"

extern char** environ;

namespace fs = std::filesystem;

namespace cftest {

namespace {

fs::path tempName(const char* what)
{
    std::string pattern = (fs::temp_directory_path() / (std::string("cf-cli-") + what + "-XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        throw std::runtime_error("cannot create a capture file");
    }
    ::close(fd);
    return pattern;
}

} // namespace

Child::Child(const std::vector<std::string>& argv, const fs::path& cwd)
    : outFile_(tempName("out")), errFile_(tempName("err"))
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outFile_.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&fa, 2, errFile_.c_str(), O_WRONLY | O_TRUNC, 0);
    if (!cwd.empty()) {
        posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const int rc = ::posix_spawnp(&pid_, argv.at(0).c_str(), &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
}

Child::~Child()
{
    if (!waited_) {
        ::kill(pid_, SIGKILL);
        wait();
    }
    ::unlink(outFile_.c_str());
    ::unlink(errFile_.c_str());
}

RunResult Child::wait()
{
    RunResult r;
    int status = 0;
    rusage usage{};
    while (::wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    r.peakKiB = usage.ru_maxrss;
    waited_ = true;
    if (WIFEXITED(status)) {
        r.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        r.signal = WTERMSIG(status);
    }
    r.out = readFile(outFile_);
    r.err = readFile(errFile_);
    return r;
}

RunResult runProgram(const std::vector<std::string>& argv, const fs::path& cwd)
{
    Child child(argv, cwd);
    return child.wait();
}

std::vector<std::string> toolCommand(const std::vector<std::string>& args)
{
    std::vector<std::string> argv{CF_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

RunResult runTool(const std::vector<std::string>& args, const fs::path& cwd)
{
    return runProgram(toolCommand(args), cwd);
}

void ffmpeg(const std::vector<std::string>& args)
{
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-v", "error", "-y"};
    argv.insert(argv.end(), args.begin(), args.end());
    const RunResult r = runProgram(argv);
    ASSERT_EQ(r.exitCode, 0) << "ffmpeg failed: " << r.err;
}

std::string describe(const RunResult& r)
{
    return "exit " + std::to_string(r.exitCode) + (r.signal ? " signal " + std::to_string(r.signal) : "") +
           "\nstdout: " + r.out + "\nstderr: " + r.err;
}

} // namespace cftest
