// One run of the remote logic against a platform and a console whose every answer
// comes from arbitrary bytes; shared by the libFuzzer entry point and the corpus replay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

struct ScenarioResult {
    std::vector<std::string> problems;  // every broken invariant; empty when all held
    std::vector<std::string> outcomes;  // the paths the run took, e.g. "stop: not confirmed"
};

// Reads a script from the bytes, runs the command it names (refresh, start or stop, and
// the refresh a successful start or stop runs), and checks what the logic left behind.
ScenarioResult RunRemoteScenario(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
