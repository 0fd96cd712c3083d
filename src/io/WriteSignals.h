// The signals a failing write raises, turned into error codes.
#pragma once

// Ignores SIGPIPE (a write to a pipe or FIFO whose reader went away) and SIGXFSZ (a write past the
// file size limit), so such a write fails with EPIPE or EFBIG and goes through the writer's usual
// failure path (a message naming the file, the temporary file removed, the old file kept) instead
// of ending the process. Called first thing in each program's main(); safe to call more than once.
void ignoreWriteSignals();
