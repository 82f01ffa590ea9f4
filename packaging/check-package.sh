#!/usr/bin/env bash
# Checks the Debian package that scripts/package made: it holds exactly the
# installed files, lintian finds no error, the desktop entry, the metadata
# and the manual pages are valid, and the unpacked programs run.
# Usage: check-package.sh BUILD_DIR VERSION. Exits 77 (skipped) when the
# package or a tool is missing, except under CI, where that is a failure.
set -euo pipefail
build_dir=$1
version=$2
id=com.zelviksoftware.Vorntools

skip() {
  echo "SKIPPED: $*" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
}
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

debs=("$build_dir"/vorntools_"$version"_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || skip "no package in $build_dir: run bash scripts/package"
for bin in src/report/vorntools src/cli/vorntools-scan; do
  [ "$deb" -nt "$build_dir/$bin" ] || skip "$deb is older than $bin: run bash scripts/package"
done
for tool in dpkg-deb lintian desktop-file-validate appstreamcli man; do
  command -v "$tool" >/dev/null || skip "$tool is missing: run bash scripts/install-deps.sh"
done
[ -f /usr/share/bash-completion/bash_completion ] ||
  skip "bash-completion is missing: run bash scripts/install-deps.sh"
echo "Checking $deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

# Every installed file, and nothing else.
expected=(
  usr/bin/vorntools
  usr/bin/vorntools-scan
  usr/share/applications/$id.desktop
  usr/share/bash-completion/completions/vorntools-scan
  usr/share/doc/vorntools/changelog.gz
  usr/share/doc/vorntools/copyright
)
for size in 16 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x$size/apps/$id.png")
done
expected+=(
  usr/share/icons/hicolor/scalable/apps/$id.svg
  usr/share/man/man1/vorntools-scan.1.gz
  usr/share/man/man1/vorntools.1.gz
  usr/share/metainfo/$id.metainfo.xml
  usr/share/vorntools/Vorntools.hlp
  usr/share/vorntools/node-menu.png
  usr/share/vorntools/files-panes.png
  usr/share/vorntools/compare.png
  usr/share/vorntools/report-pictures.png
)
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort >"$work/files"
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
diff -u "$work/expected" "$work/files" || fail "the package's files differ from the list above"

# Dependencies come from the binaries.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6widgets6 libqt6printsupport6; do
  [[ $depends == *"$lib "* || $depends == *"$lib" ]] || fail "Depends lacks $lib: $depends"
done

# Warnings are shown; only errors fail.
lintian --fail-on error --info "$deb" || fail "lintian reports errors"

dpkg-deb -x "$deb" "$work/root"
root=$work/root
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
for page in vorntools vorntools-scan; do
  if warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null); then
    [ -z "$warnings" ] || fail "man $page: $warnings"
  else
    fail "man $page cannot render: $warnings"
  fi
done

# The unpacked programs: a scan of a small tree, and the window program's version offscreen.
mkdir -p "$work/tree/big/deep" "$work/tree/small" "$work/tree/.hidden"
head -c 5120 /dev/zero >"$work/tree/big/five"
head -c 3072 /dev/zero >"$work/tree/big/deep/three"
head -c 1024 /dev/zero >"$work/tree/small/one"
head -c 9216 /dev/zero >"$work/tree/.hidden/nine"
(cd "$work" && "$root/usr/bin/vorntools-scan" --sort tree) >"$work/report"
printf '......9K  tree\r\n\t......1K  small\r\n\t......8K  big\r\n\t\t......3K  deep\r\n' >"$work/report.expected"
cmp "$work/report.expected" "$work/report" || {
  od -c "$work/report"
  fail "vorntools-scan's report differs"
}
reported=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/vorntools" --version) || fail "vorntools --version exits $?"
[ "$reported" = "vorntools $version" ] || fail "vorntools --version says '$reported'"

# The completion offers the options.
offered=$(bash -c 'source /usr/share/bash-completion/bash_completion
  source "$1"
  COMP_WORDS=(vorntools-scan --so) COMP_CWORD=1 COMP_LINE="vorntools-scan --so" COMP_POINT=19
  _vorntools_scan vorntools-scan --so vorntools-scan
  echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/vorntools-scan")
[ "$offered" = "--sort" ] || fail "completing '--so' offers '$offered'"

if [ "$failures" -gt 0 ]; then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "Package checks passed"
