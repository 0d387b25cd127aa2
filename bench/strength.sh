#!/usr/bin/env bash
# The strength measurements of the bots, each a quelmar-match run written
# to OUT (default bench-out/), its report printed to OUT/strength.log.
# Budgets are playout counts, not seconds, so a busy machine changes how
# long the matches take but not what they measure. Long: run it niced in
# the background,
#
#     nice -n 19 bash bench/strength.sh [OUT] [WORKERS] &
#
# and read OUT/strength.log as it goes. mcts:playouts=500 (the default)
# moves in about 0.2 s on board 9 here.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-bench-out}
workers=${2:-2}
mkdir -p "$out"
log="$out/strength.log"
export PYTHONPATH="$PWD${PYTHONPATH:+:$PYTHONPATH}"
match() {
  local name=$1; shift
  echo "== $name: quelmar-match $*" >>"$log"
  python3 -m quelmar_kit.match "$@" --workers "$workers" --out "$out/$name.jsonl" \
    >>"$log" 2>>"$out/$name.progress"
}
: >"$log"
match greedy-random greedy random --games 200 --size 9
match mcts-random mcts:playouts=500 random --games 200 --size 9
match mcts-greedy mcts:playouts=500 greedy --games 100 --size 9
match mcts4x-mcts mcts:playouts=2000 mcts:playouts=500 --games 100 --size 9
echo "== done" >>"$log"
