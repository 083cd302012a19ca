#!/usr/bin/env bash
# Installs what is missing, builds the program, and opens Tallorin on a folder.
# Only what the window needs is built (the program, its engine and the
# engine's dialogs; the manual is copied beside them): on a fresh machine the
# tests would more than double the wait for the first window.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh" --run
"$here/scripts/build.sh" tallorin tlr32 tlr32dlg
exec "$here/build/bin/tallorin" "$@"
