#!/usr/bin/env bash
# The first-move advantage: mcts against itself at komi 0 on boards 9 and
# 13, then bench/first_move.py reads Black's margins from the records.
# The budgets (playouts) are those of a move in about 0.1 s on each board.
#
#     nice -n 19 bash bench/first_move.sh [OUT] [WORKERS] [GAMES9] [GAMES13] &
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-bench-out}
workers=${2:-2}
mkdir -p "$out"
log="$out/first_move.log"
export PYTHONPATH="$PWD${PYTHONPATH:+:$PYTHONPATH}"
: >"$log"
for case in "9 ${3:-300} mcts:playouts=250" "13 ${4:-200} mcts:playouts=100"; do
  set -- $case
  file="$out/self-$1.jsonl"
  echo "== board $1: quelmar-match $3 $3 --games $2 --size $1 --komi 0" >>"$log"
  python3 -m quelmar_kit.match "$3" "$3" --games "$2" --size "$1" \
    --komi 0 --seed 1000 --workers "$workers" --out "$file" >>"$log" 2>>"$out/self-$1.progress"
  python3 bench/first_move.py "$file" >>"$log"
done
echo "== done" >>"$log"
