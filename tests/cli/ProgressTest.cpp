/* ProgressTest.cpp — a progress bar on a terminal for sequences and video, nothing when the output is not
   a terminal or with -q. The terminal is a pseudo-terminal the test reads. */
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/Scratch.h"
#include "support/TestPng.h"
#include "support/ToolRun.h"

namespace cftest {
namespace {

/* Runs the tool with standard error on a pseudo-terminal; returns what the terminal showed. */
std::string runOnTerminal(const std::vector<std::string>& args, int& exitCode)
{
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        std::vector<std::string> argv = toolCommand(args);
        std::vector<char*> raw;
        for (std::string& a : argv) {
            raw.push_back(a.data());
        }
        raw.push_back(nullptr);
        ::execv(raw[0], raw.data());
        ::_exit(127);
    }
    std::string shown;
    char buf[4096];
    ssize_t n = 0;
    while ((n = ::read(master, buf, sizeof buf)) > 0) {
        shown.append(buf, static_cast<std::size_t>(n));
    }
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return shown;
}

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 1; i <= 4; ++i) {
            writeTestPng(dir.path() / ("in_" + std::to_string(i) + ".png"), patternImage(24, 16, 8, 6, 1));
        }
    }
    ScratchDir dir;
};

TEST_F(ProgressTest, TerminalShowsFramesDoneRateAndTimeLeft)
{
    int code = -1;
    const std::string shown =
        runOnTerminal({"render", dir.file("in_%d.png"), dir.file("out_%d.png"), "--frame", "1"}, code);
    EXPECT_EQ(code, 0) << shown;
    EXPECT_NE(shown.find("4/4 frames"), std::string::npos) << shown;
    EXPECT_NE(shown.find("fps"), std::string::npos) << shown;
    EXPECT_NE(shown.find("total"), std::string::npos) << shown;
    EXPECT_NE(shown.find('\r'), std::string::npos) << "the bar redraws in place";
}

TEST_F(ProgressTest, QuietOptionSilencesTheBar)
{
    int code = -1;
    const std::string shown =
        runOnTerminal({"render", dir.file("in_%d.png"), dir.file("out_%d.png"), "--frame", "1", "-q"}, code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(shown, "");
}

TEST_F(ProgressTest, NothingIsDrawnWhenErrorsGoToAFile)
{
    const RunResult r = runTool({"render", dir.file("in_%d.png"), dir.file("out_%d.png"), "--frame", "1"});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.err, "");
}

} // namespace
} // namespace cftest
