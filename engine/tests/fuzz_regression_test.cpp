// Replays the fuzz corpus through the harness in the ordinary test run:
// every named seed case, every file in fuzz/corpus/ (each input that once
// broke an invariant is kept there under a name saying what it caught),
// and the faults the fuzzer found, pinned as named cases.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "game_ops.hpp"
#include "seed_cases.hpp"

using namespace quelmar;
using namespace quelmar::fuzz;

namespace {

std::vector<std::uint8_t> read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

::testing::AssertionResult plays_clean(const std::vector<std::uint8_t>& bytes) {
  const RunOutcome out = run_game_ops(bytes);
  if (out.failure) return ::testing::AssertionFailure() << *out.failure;
  return ::testing::AssertionSuccess() << out.operations << " operations";
}

}  // namespace

TEST(FuzzCorpus, EverySeedCasePlaysCleanAndIsFiledUnderItsName) {
  const std::filesystem::path dir = QUELMAR_FUZZ_CORPUS_DIR;
  for (const SeedCase& seed : seed_cases()) {
    SCOPED_TRACE(seed.name);
    EXPECT_TRUE(plays_clean(seed.bytes));
    // A stale file means the operation encoding changed: rerun fuzz_write_seeds.
    EXPECT_EQ(read_file(dir / seed.name), seed.bytes);
  }
}

TEST(FuzzCorpus, EveryCorpusFilePlaysClean) {
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QUELMAR_FUZZ_CORPUS_DIR)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_TRUE(plays_clean(read_file(entry.path())));
    ++files;
  }
  EXPECT_GE(files, seed_cases().size());
}
