#!/usr/bin/env bash
# Installs what is missing, builds and starts Kartovo on the bundled demo setup.
# The demo lives in its own folder (default: ~/.local/share/kartovo-demo) with
# its own database, settings file, working folder and filled demo cards
# (karty/); the user's own settings are never touched. Without a display the
# demo cards are read headless and the results printed instead.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z "${KARTOVO_SKIP_SETUP:-}" ]]; then
    bash scripts/install-deps.sh
    bash scripts/build.sh
fi
build_dir=${KARTOVO_BUILD_DIR:-build}
demo_dir=${KARTOVO_DEMO_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/kartovo-demo}
# Creates Norv.mdb, NORV_SPC.ini and the demo cards (existing ones are kept).
settings=$("$build_dir/tools/kartovo-demo/kartovo-demo" "$demo_dir")
# Working files (temp.bmp, Markery.bmp, Kod.bmp) stay inside the demo folder.
export KARTOVO_WORKDIR="$demo_dir/praca"
mkdir -p "$KARTOVO_WORKDIR"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "Brak ekranu: odczytuję karty demonstracyjne z $demo_dir/karty" >&2
    exec "$build_dir/src/kartovo" --settings "$settings" --read "$demo_dir"/karty/* "$@"
fi
exec "$build_dir/src/kartovo" --settings "$settings" "$@"
