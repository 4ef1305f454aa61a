#!/usr/bin/env bash
# Installs what is missing, builds and starts Kartovo on the bundled demo setup.
# The demo lives in its own folder (default: ~/.local/share/kartovo-demo) and
# never touches the user's own settings or database.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir=${KARTOVO_BUILD_DIR:-build}
demo_dir=${KARTOVO_DEMO_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/kartovo-demo}
mkdir -p "$demo_dir"
settings="$demo_dir/NORV_SPC.ini"
if [ ! -f "$settings" ]; then
    cat > "$settings" <<INI
[Baza]
TypBazy=1

[Start]
Sciezka=$demo_dir
Procent=20%
KonwersjaCB=1
INI
fi
exec "$build_dir/src/kartovo" --settings "$settings" "$@"
