#pragma once

// The command line of velmora-service.

namespace velmora::server {

int RunCommandLine(int argc, char** argv);

} // namespace velmora::server
