// The batch tool's impulse-response export options (--export-ir and the --ir-* settings), parsed
// apart from the others so that they stay one block.
#pragma once

#include "io/IrExport.h"

#include <string>

struct TCliIrOptions {
    std::string file; // --export-ir FILE
    std::string plot; // --plot-ir FILE.png
    TIrExportSettings
        settings; // --ir-channel, --ir-length, --ir-rate, --ir-format, --ir-phase, --ir-normalise
};

// Whether `arg` is one of the --ir-* settings, each taking a value.
bool isIrSetting(const std::string& arg);
// Reads the value of the --ir-* setting `arg` into `o`; false with `error` set when it is not
// one the setting takes.
bool parseIrSetting(const std::string& arg, const std::string& value, TCliIrOptions& o, std::string& error);
