#pragma once

// The program's door to a scan without a window: a core application object
// (no GUI is initialised, no display is needed), Ctrl+C as the stop request,
// the process's standard output and error, and the platform the factory
// makes.

#include "platform/NetworkPlatform.h"

#include <functional>
#include <memory>

namespace norvane {

using PlatformFactory = std::function<std::unique_ptr<NetworkPlatform>()>;

// Runs the command line and returns the program's exit code.
int runCommandLine(int argc, char* argv[], const PlatformFactory& makePlatform);

} // namespace norvane
