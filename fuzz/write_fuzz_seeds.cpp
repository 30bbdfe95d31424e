// Writes each seed run as one file of the full-run fuzzer's corpus.
#include <cstdio>
#include <fstream>
#include <string>

#include "proof/scenario_codec.h"
#include "proof/seed_scenarios.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  for (const setup::proof::SeedScenario& seed : setup::proof::SeedScenarios()) {
    const auto bytes = setup::proof::EncodeScenario(seed.scenario);
    const std::string path = std::string(argv[1]) + "/seed-" + seed.name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
