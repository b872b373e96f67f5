/* main.cpp — the crumbleforge command: parses the command line, runs the command it names, and turns
   every failure into one line on standard error and an exit code (0 done, 1 the effect or host failed,
   2 bad usage or input, 3 done but the input was damaged). */
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "common/Cleanup.h"
#include "commands/Demo.h"
#include "commands/Describe.h"
#include "pipeline/EffectSession.h"
#include "common/Errors.h"
#include "commands/JoinCommand.h"
#include "common/Options.h"
#include "commands/PlanCommand.h"
#include "commands/RenderCommand.h"
#include "cfhost/HostError.h"

#ifndef CRUMBLEFORGE_VERSION
#define CRUMBLEFORGE_VERSION "unknown"
#endif

namespace {

int runDescribe(const cfcli::Options& options)
{
    cfcli::EffectSession session(
        cfcli::SessionOptions{cfcli::locatePlugin(options.plugin), options.premiere, options.threads});
    const cfcli::ModuleDescription d = cfcli::describeModule(session);
    const std::string text = options.json ? cfcli::describeJson(d) : cfcli::describeText(d);
    std::fputs(text.c_str(), stdout);
    return cfcli::kExitDone;
}

int run(int argc, char** argv)
{
    const cfcli::Options options = cfcli::parseOptions(argc, argv);
    switch (options.command) {
    case cfcli::Command::Help:
        std::fputs(cfcli::usageText().c_str(), stdout);
        return cfcli::kExitDone;
    case cfcli::Command::Version:
        std::printf("crumbleforge %s\n", CRUMBLEFORGE_VERSION);
        return cfcli::kExitDone;
    case cfcli::Command::Demo:
        return cfcli::runDemo(options);
    case cfcli::Command::Describe:
        return runDescribe(options);
    case cfcli::Command::Render:
        return cfcli::runRender(options);
    case cfcli::Command::Join:
        return cfcli::runJoin(options);
    case cfcli::Command::Plan:
        return cfcli::runPlan(options);
    }
    return cfcli::kExitBadInput;
}

int fail(const char* message, int code)
{
    std::fflush(stdout);
    std::fprintf(stderr, "crumbleforge: error: %s\n", message);
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    /* SVT-AV1 prints its banner and settings itself unless its log level says otherwise; a level the user set
       stays. Set here, before any thread starts. */
    setenv("SVT_LOG", "1", 0);
    cfcli::cleanup::installSignalHandlers();
    int code = cfcli::kExitDone;
    try {
        code = run(argc, argv);
    } catch (const cfcli::CliError& e) {
        code = fail(e.what(), e.exitCode());
    } catch (const cfhost::HostError& e) {
        code = fail(e.what(), cfcli::kExitEffectFailed);
    } catch (const std::bad_alloc&) {
        code = fail("out of memory", cfcli::kExitEffectFailed);
    } catch (const std::exception& e) {
        code = fail(e.what(), cfcli::kExitEffectFailed);
    }
    /* A reader that stopped early (`| head`) is no failure; anything else losing our output is. */
    /* (an error while the text went out leaves nothing to flush: the stream's error flag keeps it) */
    const bool lost = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    if (lost && errno != EPIPE && code == cfcli::kExitDone) {
        const std::string why = errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : "";
        code = fail(("cannot write to standard output" + why).c_str(), cfcli::kExitBadInput);
    }
    return code;
}
