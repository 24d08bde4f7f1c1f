#!/usr/bin/env bash
# Fails when a folder includes a header of a layer above it or beside it.
# The libraries' include directories already refuse such a header at compile
# time; this names the offending line, and also catches "../" paths and
# platform's core reaching for its window-showing part.
#   app -> config, shell, host -> platform
set -uo pipefail
root=${1:-$(dirname "$0")/../..}
cd "$root" || exit 2

status=0
# check FOLDER ALLOWED-FOLDERS...: every quoted include with a folder in it
# must name one of ALLOWED-FOLDERS.
check() {
  local folder=$1; shift
  local allowed
  allowed=$(IFS='|'; echo "$*")
  local bad
  bad=$(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*/' "$folder"/*.cpp "$folder"/*.h "$folder"/*.inc 2>/dev/null |
        grep -vE "#[[:space:]]*include[[:space:]]*\"($allowed)/[^/.][^/]*\"")
  if [ -n "$bad" ]; then
    echo "$folder may include only from: $*"
    echo "$bad"
    status=1
  fi
}

check platform platform
check config config platform
check shell shell platform
check host host platform
check app app config shell host platform

# The seams that show windows live in their own library; the core must not
# need them.
gui='MessageBoxes|TrayNotifier|UrlOpener|WindowLayer'
for f in platform/*.cpp platform/*.h; do
  case $(basename "$f") in MessageBoxes.*|TrayNotifier.*|UrlOpener.*|WindowLayer.*) continue ;; esac
  if grep -nE "#[[:space:]]*include[[:space:]]*[<\"](platform/($gui)\.h|Q(Widget|Application|MessageBox|SystemTrayIcon|Dialog|DesktopServices)|QtWidgets)" "$f"; then
    echo "$f: platform's core must not need windows"
    status=1
  fi
done

[ $status -eq 0 ] && echo "layers ok"
exit $status
