/* Host.cpp — the public face of the host: options, tables, bookkeeping and host-side handles. */
#include "cfhost/Host.h"

#include <sstream>

#include "HostState.h"
#include "cfhost/HostError.h"

namespace cfhost {

Host::Host(HostOptions options) : state_(std::make_unique<State>(std::move(options))) {}

Host::~Host() = default;

const HostOptions& Host::options() const noexcept
{
    return state_->options;
}

unsigned Host::threadCount() const noexcept
{
    return state_->threads;
}

std::string Host::hostName() const
{
    if (!state_->options.hostName.empty()) {
        return state_->options.hostName;
    }
    return state_->options.applicationId == kPremierePro ? "Premiere Pro" : "After Effects";
}

std::string Host::hostVersion() const
{
    if (!state_->options.hostVersion.empty()) {
        return state_->options.hostVersion;
    }
    return std::to_string(state_->options.versionMajor) + "." + std::to_string(state_->options.versionMinor);
}

SPBasicSuite* Host::basicSuite() const noexcept
{
    return &state_->tables.basic;
}

PF_UtilCallbacks* Host::utilCallbacks() const noexcept
{
    return &state_->tables.utils;
}

const PF_InteractCallbacks& Host::interactCallbacks() const noexcept
{
    return state_->tables.inter;
}

PF_InData Host::newInData() const
{
    PF_InData in{};
    in.inter = state_->tables.inter;
    in.utils = &state_->tables.utils;
    in.quality = PF_Quality_HI;
    in.version = PF_SpecVersion{state_->options.versionMajor, state_->options.versionMinor};
    in.appl_id = state_->options.applicationId;
    in.time_step = 100;
    in.local_time_step = 100;
    in.time_scale = 2400;
    in.total_time = 100;
    in.shutter_angle = 0;
    in.downsample_x = PF_RationalScale{1, 1};
    in.downsample_y = PF_RationalScale{1, 1};
    in.pixel_aspect_ratio = PF_RationalScale{1, 1};
    in.pica_basicP = &state_->tables.basic;
    return in;
}

Faults& Host::faults() noexcept
{
    return state_->faults;
}

Counters Host::counters() const
{
    Counters c;
    c.liveHandles = state_->handles.live();
    {
        std::lock_guard<std::mutex> lock(state_->blocksMutex);
        c.liveBlocks = static_cast<long>(state_->blocks.size());
    }
    {
        std::lock_guard<std::mutex> lock(state_->worldsMutex);
        c.liveWorlds = static_cast<long>(state_->worlds.size());
    }
    c.outstandingCheckouts = state_->checkouts.load();
    c.suitesAcquired = state_->suites.totalAcquired();
    c.suitesReleased = state_->suites.totalReleased();
    c.suites = state_->suites.uses();
    c.handleAllocations = state_->handleAllocations.load();
    c.handleSizeQueries = state_->handleSizeQueries.load();
    c.handleResizes = state_->handleResizes.load();
    c.handleDisposals = state_->handleDisposals.load();
    c.addParamCalls = state_->addParamCalls.load();
    c.abortCalls = state_->abortCalls.load();
    c.progressCalls = state_->progressCalls.load();
    c.iterations = state_->iterations.load();
    {
        std::lock_guard<std::mutex> lock(state_->logMutex);
        c.misuses = static_cast<long>(state_->misuses.size());
    }
    return c;
}

SuiteUse Host::suiteUse(const std::string& name, int32_t version) const
{
    return state_->suites.use(name, version);
}

std::vector<ProgressEvent> Host::progressEvents() const
{
    std::lock_guard<std::mutex> lock(state_->logMutex);
    return state_->progressLog;
}

void Host::clearProgressEvents()
{
    std::lock_guard<std::mutex> lock(state_->logMutex);
    state_->progressLog.clear();
}

std::vector<std::string> Host::misuseLog() const
{
    std::lock_guard<std::mutex> lock(state_->logMutex);
    return state_->misuses;
}

std::string Host::leakReport() const
{
    const Counters c = counters();
    std::ostringstream report;
    if (c.liveHandles != 0) {
        report << c.liveHandles << " handle(s) not disposed\n";
    }
    if (c.liveBlocks != 0) {
        report << c.liveBlocks << " block(s) not freed\n";
    }
    if (c.liveWorlds != 0) {
        report << c.liveWorlds << " world(s) not disposed\n";
    }
    if (c.outstandingCheckouts != 0) {
        report << c.outstandingCheckouts << " parameter checkout(s) not checked in\n";
    }
    for (const auto& use : c.suites) {
        if (use.acquired != use.released) {
            report << "suite \"" << use.name << "\" version " << use.version << " acquired " << use.acquired
                   << " time(s), released " << use.released << " time(s)\n";
        }
    }
    for (const auto& line : misuseLog()) {
        report << "refused call: " << line << "\n";
    }
    return report.str();
}

void Host::checkNoLeaks() const
{
    const std::string report = leakReport();
    if (!report.empty()) {
        throw HostError("host resources left over:\n" + report);
    }
}

PF_Handle Host::newHandle(std::size_t size)
{
    PF_Handle handle = state_->handles.allocate(size, true);
    if (handle == nullptr) {
        throw HostError("cannot allocate a handle of " + std::to_string(size) + " bytes");
    }
    return handle;
}

void Host::disposeHandle(PF_Handle handle)
{
    if (!state_->handles.dispose(handle)) {
        throw HostError("disposing a handle this host does not own");
    }
}

std::size_t Host::handleSize(PF_Handle handle) const
{
    const auto size = state_->handles.size(handle);
    if (!size) {
        throw HostError("size of a handle this host does not own");
    }
    return *size;
}

bool Host::ownsHandle(PF_Handle handle) const
{
    return state_->handles.owns(handle);
}

World Host::makeWorld(A_long width, A_long height, Depth depth) const
{
    return state_->options.worldPaddingBytes < 0 ? World(width, height, depth)
                                                 : World(width, height, depth, state_->options.worldPaddingBytes);
}

} // namespace cfhost
