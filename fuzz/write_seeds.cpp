// Writes the named seed cases into a corpus directory (fuzz/corpus/), one
// file per case. Rerun it after changing the operation encoding; the
// regression test fails while the files are stale.
//
//   fuzz_write_seeds DIR

#include <cstdio>
#include <fstream>

#include "seed_cases.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_write_seeds DIR\n");
    return 2;
  }
  for (const quelmar::fuzz::SeedCase& seed : quelmar::fuzz::seed_cases()) {
    const std::string path = std::string(argv[1]) + "/" + seed.name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(seed.bytes.data()), static_cast<std::streamsize>(seed.bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
