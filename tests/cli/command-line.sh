#!/usr/bin/env bash
# kartovo and kartovo-card as command-line tools: --help and --version work
# without any display and end with 0, the help names every option and the exit
# statuses, a wrong call gives a short Polish message and status 64.
set -u
kartovo=$1
card=$2
demo=$3
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# No display at all, and no platform chosen for Qt.
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }

expect() { # status command...
    local want=$1; shift
    out=$(run "$@" 2>"$tmp/err"); got=$?
    err=$(cat "$tmp/err")
    [ "$got" -eq "$want" ] || fail "$* -> $got, expected $want; stderr: $err"
}

tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

for prog in "$kartovo" "$card"; do
    name=$(basename "$prog")
    expect 0 "$prog" --help
    for word in Użycie: --help --version "Kody wyjścia:" " 64 "; do
        grep -qF -- "$word" <<<"$out" || fail "$name --help lacks '$word'"
    done
    expect 0 "$prog" -h
    expect 0 "$prog" --version
    [[ "$out" =~ ^$name\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$name --version printed '$out'"
    expect 64 "$prog" --no-such-option
    grep -q "nieznana opcja" <<<"$err" || fail "$name: no Polish message for an unknown option: $err"
    [ -z "$out" ] || fail "$name wrote to standard output on a wrong call"
done

for opt in --settings --demo --read --auto --once --interval --settle; do
    run "$kartovo" --help | grep -qF -- "$opt" || fail "kartovo --help lacks $opt"
done
for opt in --id --out --pdf --fill --dpi --verify; do
    run "$card" --help | grep -qF -- "$opt" || fail "kartovo-card --help lacks $opt"
done

# Wrong calls of kartovo: missing or bad values, options that need --auto.
expect 64 "$kartovo" --settings
grep -q "brak wartości" <<<"$err" || fail "missing value not said: $err"
expect 64 "$kartovo" --auto --interval 0
expect 64 "$kartovo" --auto --settle abc
expect 64 "$kartovo" --once
expect 64 "$kartovo" --interval 5 --read x.jpg
expect 64 "$kartovo" --read
expect 64 "$kartovo" --read --auto x.jpg
expect 64 "$kartovo" --demo --settings x.ini
# The window without a display says so instead of aborting in Qt.
expect 1 "$kartovo"
grep -q "brak ekranu" <<<"$err" || fail "no display not said: $err"
expect 64 "$card" --id x --out "$tmp/k.png"
expect 64 "$card" --dpi 10 --out "$tmp/k.png"

# A first start without settings: the refusal, where the settings were looked
# for, and how to try the demo.
KARTOVO_SETTINGS="$tmp/brak.ini" KARTOVO_WORKDIR="$tmp/praca" expect 3 "$kartovo" --read "$tmp/karta.jpg"
grep -qF "Nie skonfigurowano połączenia z bazą danych" <<<"$err" || fail "no refusal: $err"
grep -qF "$tmp/brak.ini (plik nie istnieje)" <<<"$err" || fail "settings file not named: $err"
grep -qF "kartovo --demo" <<<"$err" || fail "demo not offered: $err"

# A card named on the command line ("Open with") is loaded into the window
# as "&Plik" loads it: recognised, its working files written. The window
# stays open, so the run is ended from outside.
"$demo" "$tmp/demo" >/dev/null 2>&1 || fail "kartovo-demo failed"
KARTOVO_WORKDIR="$tmp/demo/praca" QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="kartovo.app.debug=true" \
    timeout -s TERM 20 "$kartovo" --settings "$tmp/demo/NORV_SPC.ini" "$tmp/demo/karty/02-dlugosc-calkowita-szum.jpg" \
    >/dev/null 2>"$tmp/err"
grep -q "recognition" "$tmp/err" || fail "the card given on the command line was not loaded: $(cat "$tmp/err")"
[ -s "$tmp/demo/praca/Kod.bmp" ] || fail "no code field cut out of the card given on the command line"

exit $((failures > 0))
