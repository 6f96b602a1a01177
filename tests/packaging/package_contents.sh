#!/usr/bin/env bash
# The Debian package from the programs already built: `cmake --install` of the build tree
# into a scratch root, then cpack with the build's own package settings on that root.
# (Plain cpack would first bring the whole build up to date; that is `make package`'s
# business, not a test's.) Checks the control fields, that every file that belongs in the
# package is there and nothing else is (no test program, benchmark or demo), that the
# manual pages, the changelog and the desktop entry are what a desktop reads, that the
# programs are stripped, and that lintian finds nothing but what waits for a licence.
#   BUILD_DIR  CMAKE  CPACK  VERSION  WITH_HACK (1 when the build makes the screen-locker hack)
set -euo pipefail

for var in BUILD_DIR CMAKE CPACK VERSION WITH_HACK; do
  [[ -n "${!var:-}" ]] || { echo "package_contents: $var is not set" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# ---- Install and pack.
DESTDIR="$work/root" "$CMAKE" --install "$BUILD_DIR" --prefix /usr --strip >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; echo "FAIL: cmake --install failed (are pellora and pellora-reg built?)" >&2; exit 1; }
"$CPACK" -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$work/out" \
  -D CPACK_INSTALL_CMAKE_PROJECTS= -D "CPACK_INSTALLED_DIRECTORIES=$work/root;." >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack failed" >&2; exit 1; }
debs=("$work"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || { echo "FAIL: cpack made no single .deb: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[[ "$(basename "$deb")" == "pellora_${VERSION}_${arch}.deb" ]] ||
  fail "the package is named $(basename "$deb"), not pellora_${VERSION}_${arch}.deb"

# ---- Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == pellora ]] || fail "Package is '$(field Package)'"
[[ "$(field Version)" == "$VERSION" ]] || fail "Version is '$(field Version)', not $VERSION"
[[ -n "$(field Maintainer)" ]] || fail "no Maintainer"
[[ -n "$(field Section)" ]] || fail "no Section"
[[ -n "$(field Description)" ]] || fail "no Description"
depends=$(field Depends)
for needed in libsdl2-2.0-0 libfreetype6 libfontconfig1 libsqlite3-0 libx11-6 "fonts-liberation2 | fonts-dejavu-core"; do
  [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
[[ "$(field Suggests)" == *xscreensaver* ]] || fail "Suggests lacks xscreensaver: $(field Suggests)"

# ---- Every file, and nothing else. A new installed file belongs in this list too.
expected=(
  usr/bin/pellora
  usr/bin/pellora-reg
  usr/share/applications/pellora.desktop
  usr/share/icons/hicolor/32x32/apps/pellora.png
  usr/share/man/man1/pellora.1.gz
  usr/share/man/man1/pellora-reg.1.gz
  usr/share/doc/pellora/changelog.gz
)
if [[ "$WITH_HACK" == 1 ]]; then
  expected+=(usr/libexec/xscreensaver/pellora usr/share/xscreensaver/config/pellora.xml)
fi
dpkg-deb -c "$deb" >"$work/listing"
# Lines read "-rwxr-xr-x root/root 123 date time ./path"; directories end in "/".
awk '$1 !~ /^d/ { path = $6; sub(/^\.\//, "", path); print path }' "$work/listing" | sort >"$work/files"
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
while read -r missing; do fail "missing from the package: /$missing"; done < <(comm -13 "$work/files" "$work/expected")
while read -r extra; do fail "not expected in the package: /$extra"; done < <(comm -23 "$work/files" "$work/expected")
# Said separately, as this is the mistake the list guards against most.
if grep -E '(^|/)(test_[^/]*|bench_[^/]*|[^/]*demo[^/]*|ballgen|fuzz_[^/]*)$' "$work/files"; then
  fail "a test program, benchmark, demo or build tool is packaged"
fi
grep -q '^-rwxr-xr-x root/root .* \./usr/bin/pellora$' "$work/listing" || fail "/usr/bin/pellora is not an executable owned by root"
if awk '$1 !~ /^d/ && $2 != "root/root"' "$work/listing" | grep .; then fail "files not owned by root"; fi

# ---- What the desktop reads.
dpkg-deb -x "$deb" "$work/unpacked"
for page in pellora pellora-reg; do
  gz="$work/unpacked/usr/share/man/man1/$page.1.gz"
  [[ -f "$gz" ]] || continue
  gzip -t "$gz" || fail "$page.1.gz is not a sound gzip file"
  # Flags byte without a file name, and a zero time: the same page gives the same bytes.
  header=$(head -c 8 "$gz" | od -An -tx1 | tr -d ' \n')
  [[ "${header:6:2}" == 00 && "${header:8:8}" == 00000000 ]] || fail "$page.1.gz carries a name or time (header $header)"
  upper=${page^^}
  title=$(zcat "$gz" | awk 'NR == 1 && $1 == ".TH" { print $2, $3 }')
  [[ "$title" == "${upper//-/\\-} 1" ]] || fail "$page.1.gz does not start with its .TH line (title '$title')"
done
changelog="$work/unpacked/usr/share/doc/pellora/changelog.gz"
if [[ -f "$changelog" ]]; then
  newest=$(zcat "$changelog" | head -1)
  [[ "$newest" == "pellora ($VERSION) "* ]] || fail "the changelog's newest entry is not for $VERSION: $newest"
fi
# Programs go in stripped, the hack among them (see packaging/CMakeLists.txt).
while read -r program; do
  if readelf -S "$program" | grep -qE ' \.(symtab|debug_[a-z]+) '; then fail "/${program#"$work/unpacked/"} is not stripped"; fi
done < <(find "$work/unpacked" -type f -perm -u+x)
desktop="$work/unpacked/usr/share/applications/pellora.desktop"
if [[ -f "$desktop" ]]; then
  for line in '[Desktop Entry]' 'Type=Application' 'Name=Pellora' 'Exec=pellora /c' 'Icon=pellora' \
              'Categories=Settings;DesktopSettings;'; do
    grep -qxF "$line" "$desktop" || fail "pellora.desktop lacks the line '$line'"
  done
fi
icon="$work/unpacked/usr/share/icons/hicolor/32x32/apps/pellora.png"
if [[ -f "$icon" ]]; then
  [[ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" == 89504e470d0a1a0a ]] || fail "pellora.png is not a PNG"
  # Width and height, big-endian, in the IHDR chunk.
  [[ "$(od -An -tx1 -j16 -N8 "$icon" | tr -d ' \n')" == 0000002000000020 ]] || fail "pellora.png is not 32 x 32"
fi

# ---- Debian's own checks: nothing but the missing copyright file, which waits for the
# project's licence.
if command -v lintian >/dev/null; then
  lintian --suppress-tags no-copyright-file "$deb" >"$work/lintian" 2>&1 || true
  while read -r tag; do fail "lintian: $tag"; done < <(grep -E '^[EW]: ' "$work/lintian" || true)
else
  fail "lintian is needed (scripts/bootstrap installs it)"
fi

if ((failures > 0)); then
  echo "--- dpkg-deb -c:" >&2
  cat "$work/listing" >&2
  exit 1
fi
echo "package_contents: $(basename "$deb") holds the ${#expected[@]} expected files; Depends: $depends"
