// Starting and stopping the service selected in the console's list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "remote/PlatformOps.h"
#include "remote/Refresh.h"
#include "remote/ServiceConsole.h"

namespace remote {

// Each returns the control of the pass that the refresh after a success started, or
// null when the command did not succeed or no pass started; onEnded goes to that pass.
std::shared_ptr<CPassControl> StartSelectedService(IServiceConsole& console, IPlatformOps& platform,
                                                   PassEndedCallback onEnded = {});
std::shared_ptr<CPassControl> StopSelectedService(IServiceConsole& console, IPlatformOps& platform,
                                                  PassEndedCallback onEnded = {});

// The message for a refused start or stop request, chosen by its error code.
std::string StartErrorText(std::uint32_t error);
std::string StopErrorText(std::uint32_t error);

inline constexpr char kFailedToOpenService[] = "Failed to Open Service Handle!";
inline constexpr char kConfirmStop[] = "Do you really want to stop the service?";

}  // namespace remote
