#pragma once
// The named seed inputs of the fuzz corpus: small games that reach the
// positions where the engine's geometry is most delicate.

#include <cstdint>
#include <string>
#include <vector>

namespace quelmar::fuzz {

struct SeedCase {
  std::string name;  // the corpus file name
  std::vector<std::uint8_t> bytes;
};

std::vector<SeedCase> seed_cases();

}  // namespace quelmar::fuzz
