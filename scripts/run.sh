#!/usr/bin/env bash
# Installs what is missing, builds, and opens Tallorin on a folder.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
exec "$here/build/bin/tallorin" "$@"
