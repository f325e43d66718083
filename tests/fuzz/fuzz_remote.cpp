// libFuzzer entry point: every input is one scripted run of the remote logic; a broken
// invariant is printed and ends the run as a crash, so that libFuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "RemoteScenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::ScenarioResult result = fuzz::RunRemoteScenario(data, size);
    if (result.problems.empty())
        return 0;
    for (const std::string& problem : result.problems)
        std::fprintf(stderr, "invariant broken: %s\n", problem.c_str());
    std::abort();
}
