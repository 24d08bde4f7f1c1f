#!/usr/bin/env bash
# Builds the Debian package from an already built tree, unpacks it into a
# scratch root and checks what a user's machine would get from it: the files,
# their metadata, the declared dependencies, and an executable whose
# libraries resolve.
#
# Usage: package_test.sh BUILD_DIR
set -uo pipefail

build=$(cd "${1:?usage: package_test.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
[ -n "$version" ] || { echo "FAIL: no version in $build/CPackConfig.cmake"; exit 1; }

# Its own output folder, so a package built here never races with or
# overwrites one that the `package` target made.
if ! (cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
fi

deb="$work/out/VaskorLinkPC_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
  echo "FAIL: expected $(basename "$deb"), cpack made:"
  ls "$work/out"
  exit 1
fi

root="$work/root"
dpkg -x "$deb" "$root" || { echo "FAIL: dpkg -x"; exit 1; }

exe="$root/usr/bin/VaskorLinkPC"
app_id=example.vaskor.VaskorLinkPC
desktop="$root/usr/share/applications/$app_id.desktop"
metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
unit="$root/usr/lib/systemd/user/vaskorlinkpc.service"
template="$root/usr/lib/systemd/user/vaskorlinkpc@.service"
pdf="$root/usr/share/vaskorlinkpc/VaskorLinkPC.pdf"
man="$root/usr/share/man/man1/VaskorLinkPC.1.gz"
icons="$root/usr/share/icons/hicolor"
runner="$root/usr/bin/vaskorlink-run"
lines_lib="$root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)/libvaskorlink-lines.so"

# --- Contents: every file in place, nothing else shipped ---
for f in "$exe" "$pdf" "$desktop" "$metainfo" "$unit" "$template" "$man" "$runner" "$lines_lib" \
         "$icons/scalable/apps/vaskorlinkpc.svg"; do
  [ -s "$f" ] || fail "missing or empty: ${f#"$root"}"
done
for size in 16 32 48 256; do
  png="$icons/${size}x${size}/apps/vaskorlinkpc.png"
  if [ ! -s "$png" ]; then
    fail "missing icon ${png#"$root"}"
  elif ! file -b "$png" | grep -q "PNG image data, $size x $size,"; then
    fail "icon ${png#"$root"} is not a $size px PNG: $(file -b "$png")"
  fi
done
[ -x "$exe" ] || fail "executable is not executable"
head -c 5 "$pdf" 2>/dev/null | grep -q '^%PDF-' || fail "help document is not a PDF"
# Helpers of the build (simulator, PDF renderer, tests) stay out of the package.
extra=$(cd "$root" && find . -type f | grep -v -E '^\./usr/(bin/(VaskorLinkPC|vaskorlink-run)$|lib/[a-z0-9_-]+/libvaskorlink-lines\.so$|share/(vaskorlinkpc|applications|metainfo|icons/hicolor|man/man1)/|lib/systemd/user/)')
[ -z "$extra" ] || fail "unexpected files in the package: $extra"
# A package built as an ordinary user must still install files owned by root.
notroot=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
[ -z "$notroot" ] || fail "files not owned by root: $notroot"
# Paths of the build machine must not leak into what is installed.
leaks=$(grep -rlF "$build" "$root" 2>/dev/null | grep -v '/usr/bin/' || true)
[ -z "$leaks" ] || fail "build-tree path in: $leaks"
gzip -t "$man" 2>/dev/null || fail "man page is not valid gzip"

# --- Control data ---
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vaskorlinkpc ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', want $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)', want $arch"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
declared() { echo "$depends" | tr ',' '\n' | sed 's/^ *//' | grep -q "^$1\( \|$\)"; }
# What is loaded at run time, and libc as proof that dpkg-shlibdeps ran.
for dep in qt6-qpa-plugins fonts-liberation libc6; do
  declared "$dep" || fail "Depends lacks $dep: $depends"
done
# Every library the executable links must come with the package's
# dependencies, or a fresh system starts it to a loader error.
for soname in $(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  path=$(ldd "$exe" | awk -v s="$soname" '$1 == s { print $3 }')
  owner=""
  for candidate in "$path" "${path#/usr}" "/usr$path"; do
    owner=$(dpkg -S "$candidate" 2>/dev/null | head -1 | cut -d: -f1) && [ -n "$owner" ] && break
  done
  if [ -z "$owner" ]; then
    fail "no installed package owns $soname ($path)"
  elif ! declared "$owner"; then
    fail "Depends lacks $owner, which provides $soname: $depends"
  fi
done

# --- Desktop integration metadata ---
# Hints are advice on style; errors and warnings break menus.
if ! out=$(desktop-file-validate "$desktop" 2>&1) || echo "$out" | grep -q -E 'error:|warning:'; then
  fail "desktop-file-validate: $out"
fi
# The entry must start what the package ships and show an icon it ships.
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$root/usr/bin/$exec_name" ] || fail "desktop Exec=$exec_name is not in /usr/bin"
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -s "$icons/48x48/apps/$icon_name.png" ] || fail "desktop Icon=$icon_name has no installed icon"

if ! out=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1); then
  fail "appstreamcli validate: $out"
fi
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" \
  || fail "metainfo does not launch $app_id.desktop"
grep -q "<release version=\"$version\"" "$metainfo" \
  || fail "metainfo has no release entry for $version"

if ! out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
           man --warnings -E UTF-8 -l -Tutf8 -Z "$man" 2>&1 >/dev/null) || [ -n "$out" ]; then
  fail "man page has warnings: $out"
fi

# --- The systemd user unit ---
grep -qx 'ExecStart=/usr/bin/VaskorLinkPC' "$unit" \
  || fail "unit does not start /usr/bin/VaskorLinkPC: $(grep ExecStart "$unit")"
grep -qx 'Restart=on-failure' "$unit" || fail "unit lacks Restart=on-failure"
grep -qx 'Environment=QT_QPA_PLATFORM=offscreen' "$unit" || fail "unit lacks the offscreen platform"
grep -qx 'WantedBy=default.target' "$unit" || fail "unit is not wanted by default.target"
# The template runs the same program, one bridge per instance name.
grep -qx 'ExecStart=/usr/bin/VaskorLinkPC' "$template" \
  || fail "template does not start /usr/bin/VaskorLinkPC: $(grep ExecStart "$template")"
grep -qx 'Environment=VASKORLINK_INSTANCE=%i' "$template" \
  || fail "template does not pass the instance name"
for line in 'Restart=on-failure' 'RestartPreventExitStatus=2' \
            'Environment=QT_QPA_PLATFORM=offscreen' 'WantedBy=default.target'; do
  grep -qx "$line" "$template" || fail "template lacks $line"
done
if command -v systemd-analyze >/dev/null; then
  # Checked against the packaged executable: the unit's absolute path is
  # redirected into the scratch root. A template is verified as an instance.
  for name in vaskorlinkpc.service vaskorlinkpc@.service; do
    checked=${name/@/@plc1}
    sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$root/usr/lib/systemd/user/$name" \
      >"$work/$checked"
    if ! out=$(SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no "$work/$checked" 2>&1) \
       || echo "$out" | grep -q 'vaskorlinkpc'; then
      fail "systemd-analyze verify $name: $out"
    fi
  done
fi

# --- The executable runs from the package ---
missing=$(ldd "$exe" 2>&1 | grep 'not found')
[ -z "$missing" ] || fail "unresolved libraries: $missing"
rpath=$(readelf -d "$exe" | grep -E 'R(UN)?PATH')
[ -z "$rpath" ] || fail "installed executable keeps a library path: $rpath"

# --- The modem-line wrapper finds its library where the package put it ---
[ -x "$runner" ] || fail "vaskorlink-run is not executable"
got=$("$runner" sh -c 'echo "$LD_PRELOAD"' 2>&1)
[ "$(readlink -f "${got%% *}")" = "$(readlink -f "$lines_lib")" ] ||
  fail "vaskorlink-run preloads '$got', not the packaged library"
undefined=$(ldd -r "$lines_lib" 2>&1 | grep -E 'undefined|not found')
[ -z "$undefined" ] || fail "lines library does not resolve: $undefined"

# --- The user service's command line relays bytes (as systemd would start it) ---
python3 "$(dirname "$0")/unit_relays.py" "$root" "$unit" || fail "the unit's command line does not relay"
python3 "$(dirname "$0")/unit_relays.py" "$root" "$template" plc1 \
  || fail "the template's command line for instance plc1 does not relay"

if [ "$failures" -eq 0 ]; then
  echo "package test: $(basename "$deb") passed every check"
else
  echo "package test: $failures check(s) failed"
  exit 1
fi
