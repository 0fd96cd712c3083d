// body-analyzer-cli: the analysis without a window.
#include "cli/CliOptions.h"
#include "cli/CliRun.h"
#include "io/WriteSignals.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    ignoreWriteSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = parseCliOptions(args, error);
    if (!options) {
        std::cerr << "body-analyzer-cli: " << error << "\n\n" << cliUsage();
        return 2;
    }
    if (options->help) {
        std::cout << cliUsage();
        return 0;
    }
    return runCli(*options, std::cerr);
}
