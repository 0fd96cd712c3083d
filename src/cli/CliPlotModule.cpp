// Loads the plot module on demand and hands writePlots over to it.
#include "cli/CliPlotModule.h"

#include "cli/CliRun.h"
#include "io/SafeWriter.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#include <utility>

std::string cliPlotModuleOverride;

std::vector<std::string> cliPlotModulePlaces() {
    if (!cliPlotModuleOverride.empty())
        return {cliPlotModuleOverride};
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string folder = ".";
    if (n > 0) {
        folder.assign(exe, static_cast<std::size_t>(n));
        const std::size_t slash = folder.rfind('/');
        folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    }
    if (folder.back() != '/')
        folder += '/';
    return {folder + cliPlotModuleName, folder + "../lib/body-analyzer/" + cliPlotModuleName};
}

namespace {

// Opens the module at `path` and checks its stamp; nullptr with `reason` set when it cannot be used.
TCliPlotDrawer openModule(const std::string& path, std::string& reason) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* message = ::dlerror();
        reason = message ? message : "it could not be opened";
        return nullptr;
    }
    const auto stamp = reinterpret_cast<TCliPlotStamp>(::dlsym(handle, cliPlotModuleStampSymbol));
    const auto drawer = reinterpret_cast<TCliPlotDrawer>(::dlsym(handle, cliPlotModuleDrawSymbol));
    if (!stamp || !drawer) {
        reason = "it is not the batch tool's plot module";
        ::dlclose(handle);
        return nullptr;
    }
    if (stamp() != cliPlotModuleStamp()) {
        reason = "it belongs to another build of the batch tool";
        ::dlclose(handle);
        return nullptr;
    }
    return drawer; // stays loaded: Qt is not made to be unloaded
}

} // namespace

bool writePlots(TAnalyzer& a, const TCliOptions& options, std::string& error) {
    static TCliPlotDrawer drawer = nullptr;
    if (!drawer) {
        const std::vector<std::string> places = cliPlotModulePlaces();
        // The first place that holds a file is the one reported; with none, the first place.
        std::string reported = places.front();
        std::string reason = "no such file";
        bool found = false;
        for (const std::string& place : places) {
            if (::access(place.c_str(), F_OK) != 0)
                continue;
            std::string why;
            if ((drawer = openModule(place, why)))
                break;
            if (!found) {
                found = true;
                reported = place;
                reason = why;
            }
        }
        if (!drawer) {
            error = "\"" + reported + "\": the plot module cannot be loaded: " + reason;
            return false;
        }
    }
    std::string analysisPng;
    std::string summaryPng;
    std::string irPng;
    if (!drawer(a, options, analysisPng, summaryPng, irPng, error))
        return false;
    for (const auto& [path, png] :
         {std::pair(&options.plotAnalysis, &analysisPng), std::pair(&options.plotSummary, &summaryPng),
          std::pair(&options.ir.plot, &irPng)}) {
        if (path->empty())
            continue;
        const TFileResult r = writeFileSafely(*path, *png);
        if (!r.ok) {
            error = r.message;
            return false;
        }
    }
    return true;
}
