#!/usr/bin/env bash
# Mutation run: plants one single-line fault at a time in the libraries'
# sources (imaging recognition reading evaluation db app), rebuilds with ninja
# and runs the test programs; a fault is killed when a test program fails or
# hangs, stillborn when it does not compile or leaves the object unchanged
# (not counted), survived otherwise.
#
#   scripts/mutate.sh [--build DIR] [--count N] [--seed S] [--libs imaging,reading]
#                     [--ui] [--list] [--only 3,7] [--report FILE] [--timeout SEC] [-j JOBS]
#
#   --build DIR   configured build directory (default build; ccache launcher advised)
#   --count N     mutants to plant (default 20), spread over the libraries by their lines
#   --seed S      sample seed (default 1): the same seed plants the same mutants
#   --libs LIST   libraries to mutate (default all six)
#   --ui          also mutate the widget sources in src/<lib>/ui
#   --list        print the planned mutants without building or running anything
#   --only LIST   run only these mutants of the plan (numbers as --list shows them)
#   --report FILE write the per-mutant lines and the summary to FILE too
#   --timeout SEC per test program; given, the clean run of every program is
#                 skipped (default: a clean run first, then five times its time + 30 s)
#
# The mutated library's own test program runs first and the first failing
# program ends a mutant; tests/cli/command-line.sh runs too for src/app. The
# database server tests take part when KARTOVO_PG_* / KARTOVO_MARIADB_* are set
# (eval "$(bash scripts/pg-test-server.sh start)" beforehand). The source is
# restored after every mutant, on Ctrl-C, and at the next start if the run was
# killed. Example: nice -n 19 scripts/mutate.sh --count 60 --seed 1 --report mutate.txt
set -euo pipefail
exec /usr/bin/python3 "$(dirname "$0")/mutate.py" "$@"
