// The batch tool's plots live in a module of their own, the only part of the tool that needs Qt:
// an export without plots never loads Qt. The module is loaded on the first plot, from the folder
// of the running program (/proc/self/exe) or, for an installed program, from
// ../lib/body-analyzer/ beside that folder, and stays loaded until the process ends.
#pragma once

#include "cli/CliOptions.h"
#include "dsp/Analyzer.h"

#include <cstddef>
#include <string>
#include <vector>

// The module's file name.
inline constexpr const char* cliPlotModuleName = "body-analyzer-cli-plots.so";

// The module's entry points (C names, looked up with dlsym). The stamp tells the module's build from
// another one: a module whose stamp differs from the program's is not used. The module only draws:
// files are written by the program, through its own safe writer.
inline constexpr const char* cliPlotModuleStampSymbol = "bodyAnalyzerCliPlotsStamp";
inline constexpr const char* cliPlotModuleDrawSymbol = "bodyAnalyzerCliDrawPlots";
using TCliPlotStamp = std::size_t (*)();
// Draws the plots the options ask for (analysis, summary, impulse response) and returns each as
// PNG bytes (left empty when not asked for); the program writes the files. False with `error` set
// when one cannot be drawn or encoded (naming the file). It throws nothing: the program and the
// module may run on C++ runtimes of their own (see src/cli/CMakeLists.txt).
using TCliPlotDrawer = bool (*)(TAnalyzer& a, const TCliOptions& options, std::string& analysisPng,
                                std::string& summaryPng, std::string& irPng, std::string& error);

// What this build's module must answer to the stamp query: the sizes of the objects handed over.
inline std::size_t cliPlotModuleStamp() {
    return sizeof(TAnalyzer) * 65536 + sizeof(TCliOptions);
}

// The places the module is looked for, in order. Tests set cliPlotModuleOverride to use one file
// instead (empty: the places above).
std::vector<std::string> cliPlotModulePlaces();
extern std::string cliPlotModuleOverride;
