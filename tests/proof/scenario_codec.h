// Scenarios as bytes, for the fuzzers: any bytes decode to some scenario
// (missing input reads as zeros), and a hand-written scenario encodes to
// bytes that decode back to it, which is how seed inputs are made.
#ifndef SETUP_TESTS_PROOF_SCENARIO_CODEC_H
#define SETUP_TESTS_PROOF_SCENARIO_CODEC_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "proof/scenario.h"

namespace setup::proof {

Scenario DecodeScenario(const std::uint8_t* data, std::size_t size);

// Throws std::invalid_argument for a scenario the bytes cannot carry: a
// code page outside the decoder's list, or more entries than it reads.
std::vector<std::uint8_t> EncodeScenario(const Scenario& scenario);

}  // namespace setup::proof

#endif  // SETUP_TESTS_PROOF_SCENARIO_CODEC_H
