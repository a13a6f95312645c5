#pragma once

#include "Arguments.h"

namespace tavo::cli {

// The subcommands of tavo-unit. Each returns the process exit status: 0 done, 1 failed,
// 2 wrong usage (with a message on standard error).
int Serve(Arguments& args);
int Control(Arguments& args);
int MakeContent(Arguments& args);
int MakeServer(Arguments& args);
// Replaces this process with the panel window (tavo-unit-panel, beside this executable).
int Panel(Arguments& args);

// Prints "tavo-unit: <text>" on standard error and returns status.
int Fail(int status, const std::string& text);

} // namespace tavo::cli
