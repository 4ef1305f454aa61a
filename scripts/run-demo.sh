#!/usr/bin/env bash
# Installs what is missing, builds and starts Kartovo on the bundled demo setup.
# The demo lives in its own folder (default: ~/.local/share/kartovo-demo) with
# its own database and settings file; the user's own settings are never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir=${KARTOVO_BUILD_DIR:-build}
demo_dir=${KARTOVO_DEMO_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/kartovo-demo}
# Creates Norv.mdb and NORV_SPC.ini in the demo folder (an existing demo is kept).
settings=$("$build_dir/tools/kartovo-demo/kartovo-demo" "$demo_dir")
exec "$build_dir/src/kartovo" --settings "$settings" "$@"
