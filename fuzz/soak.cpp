// Long seeded runs of the fuzz harness, for soak testing off CI: random
// inputs, each a game of up to 400 operations, until the operation
// budget or the time runs out. A failing input is written out so that
// fuzz_game (or the regression test, once it is in fuzz/corpus/) replays it.
//
//   fuzz_soak [--operations N] [--seconds T] [--seed S] [--failures DIR]
//   fuzz_soak --replay FILE...   plays saved inputs and says what they did
//   fuzz_soak --trace FILE...    the same, operation by operation

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "game_ops.hpp"

namespace {

struct Options {
  std::uint64_t operations = 1'000'000;
  double seconds = std::numeric_limits<double>::infinity();
  std::uint64_t seed = 1;
  std::string failures = ".";
};

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const char* flag = argv[i];
    const char* value = argv[i + 1];
    if (!std::strcmp(flag, "--operations")) o.operations = std::strtoull(value, nullptr, 10);
    else if (!std::strcmp(flag, "--seconds")) o.seconds = std::strtod(value, nullptr);
    else if (!std::strcmp(flag, "--seed")) o.seed = std::strtoull(value, nullptr, 10);
    else if (!std::strcmp(flag, "--failures")) o.failures = value;
    else return false;
  }
  return argc % 2 == 1;
}

std::vector<std::uint8_t> random_input(std::mt19937_64& rng) {
  std::vector<std::uint8_t> bytes(256 + rng() % 7937);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

void keep_failure(const Options& o, std::uint64_t game, const std::vector<std::uint8_t>& bytes) {
  const std::string path =
      o.failures + "/soak-failure-seed" + std::to_string(o.seed) + "-game" + std::to_string(game) + ".bin";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  std::fprintf(stderr, "soak: the input is in %s\n", path.c_str());
}

void print_judged(const quelmar::Game::LocalJudgements& judged) {
  std::printf("soak: probes judged locally %llu (%llu checked against the full computation, %llu differing), "
              "by the full computation %llu\n",
              static_cast<unsigned long long>(judged.local), static_cast<unsigned long long>(judged.checked),
              static_cast<unsigned long long>(judged.mismatches), static_cast<unsigned long long>(judged.full));
}

int replay(int count, char** files, bool trace) {
  int failures = 0;
  quelmar::Game::LocalJudgements judged;
  for (int i = 0; i < count; ++i) {
    std::ifstream in(files[i], std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const quelmar::fuzz::RunOutcome out = quelmar::fuzz::run_game_ops(bytes, {400, trace ? stdout : nullptr});
    std::printf("%s: %zu operations, %zu committed turns%s%s\n", files[i], out.operations, out.committed_turns,
                out.failure ? ": " : "", out.failure ? out.failure->c_str() : "");
    failures += out.failure.has_value();
    judged += out.judged;
  }
  print_judged(judged);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && !std::strcmp(argv[1], "--replay")) return replay(argc - 2, argv + 2, false);
  if (argc >= 2 && !std::strcmp(argv[1], "--trace")) return replay(argc - 2, argv + 2, true);
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: fuzz_soak [--operations N] [--seconds T] [--seed S] [--failures DIR]\n");
    return 2;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  std::mt19937_64 rng(o.seed);
  std::uint64_t operations = 0, games = 0, turns = 0, failures = 0;
  quelmar::Game::LocalJudgements judged;
  double next_report = 60.0;
  while (operations < o.operations && elapsed() < o.seconds) {
    const std::vector<std::uint8_t> bytes = random_input(rng);
    // The fuzzer's budget, so that every failing input replays there too.
    const quelmar::fuzz::RunOutcome out = quelmar::fuzz::run_game_ops(bytes);
    operations += out.operations;
    turns += out.committed_turns;
    judged += out.judged;
    ++games;
    if (out.failure) {
      ++failures;
      std::fprintf(stderr, "soak: game %llu: %s\n", static_cast<unsigned long long>(games), out.failure->c_str());
      keep_failure(o, games, bytes);
    }
    if (elapsed() >= next_report) {
      std::printf("soak: %llu operations in %.0f s\n", static_cast<unsigned long long>(operations), elapsed());
      std::fflush(stdout);
      next_report += 60.0;
    }
  }
  std::printf("soak: %llu operations, %llu games, %llu committed turns, %llu failures in %.0f s (seed %llu)\n",
              static_cast<unsigned long long>(operations), static_cast<unsigned long long>(games),
              static_cast<unsigned long long>(turns), static_cast<unsigned long long>(failures), elapsed(),
              static_cast<unsigned long long>(o.seed));
  print_judged(judged);
  return failures == 0 ? 0 : 1;
}
