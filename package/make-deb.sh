#!/usr/bin/env bash
# Makes Trellin's Debian package from a built tree:
#   make-deb.sh BUILD_DIR OUT.deb VERSION PYTHON_DIR
# The build's own install rules place every file under /usr (the prefix
# Debian's packages use); this adds what a Debian package carries besides
# (the man page, bash completion, copyright and changelog), reads the library
# packages the binaries need with dpkg-shlibdeps, and writes OUT.deb with
# dpkg-deb. PYTHON_DIR is where the build installs the Python module (relative
# to the prefix); the package moves it to lib/python3/dist-packages, where
# Debian keeps the modules of its python3, at the same depth, so the module
# still finds the effect module by the same relative path.
# Nothing is left at OUT.deb unless the whole package was made.
set -euo pipefail

if [ $# -ne 4 ]; then
  echo "usage: make-deb.sh BUILD_DIR OUT.deb VERSION PYTHON_DIR" >&2
  exit 2
fi
build=$(realpath "$1")
out=$2
version=$3
python_dir=$4
here=$(dirname "$(realpath "$0")")
arch=$(dpkg --print-architecture)

umask 022
work=$(mktemp -d)
tmp_out=""
trap 'rm -rf "$work" ${tmp_out:+"$tmp_out"}' EXIT
root=$work/debian/trellin

# Everything the build installs, stripped, under /usr.
DESTDIR=$root cmake --install "$build" --prefix /usr --strip >/dev/null

if [ "$python_dir" != lib/python3/dist-packages ]; then
  from=$root/usr/$python_dir
  if [ "$(dirname "$(dirname "$python_dir")")" != lib ] || [ "$(basename "$python_dir")" != dist-packages ]; then
    echo "make-deb: the Python module's folder $python_dir is not lib/python3.X/dist-packages" >&2
    exit 1
  fi
  mkdir -p "$root/usr/lib/python3/dist-packages"
  mv "$from"/* "$root/usr/lib/python3/dist-packages/"
  rmdir "$from" "$(dirname "$from")"
fi

# The man page, from the program's own help.
mkdir -p "$root/usr/share/man/man1"
help2man --no-info --no-discard-stderr --section=1 \
  --name="render pictures and video through the Trellin cell-glass effect" \
  --include="$here/trellin.h2m" \
  "$build/bin/trellin" | gzip -9n >"$root/usr/share/man/man1/trellin.1.gz"
help2man --no-info --no-discard-stderr --section=1 --version-string="$version" \
  --name="view and adjust the Trellin cell-glass effect on a picture or sequence" \
  --include="$here/trellin-view.h2m" \
  "$build/bin/trellin-view" | gzip -9n >"$root/usr/share/man/man1/trellin-view.1.gz"

mkdir -p "$root/usr/share/bash-completion/completions"
install -m 644 "$here/trellin.bash-completion" "$root/usr/share/bash-completion/completions/trellin"
ln -s trellin "$root/usr/share/bash-completion/completions/trellin-view"

doc=$root/usr/share/doc/trellin
mkdir -p "$doc"
install -m 644 "$here/copyright" "$doc/copyright"
sed "s/@VERSION@/$version/" "$here/changelog.in" | gzip -9n >"$doc/changelog.gz"

# Shared objects are read, not run; programs are run.
find "$root" -type d -exec chmod 755 {} +
find "$root" -type f -exec chmod 644 {} +
chmod 755 "$root"/usr/bin/*

# The library packages every ELF file needs. The host library is the
# package's own (lib/trellin/, found through the binaries' RPATH).
mkdir -p "$work/debian"
printf 'Source: trellin\n\nPackage: trellin\nArchitecture: any\n' >"$work/debian/control"
mapfile -t elves < <(find "$root" -type f -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print | sort)
# The compiler's notes are of no use installed (Debian's own strip drops them).
for elf in "${elves[@]}"; do objcopy --remove-section=.comment "$elf"; done
depends=$(cd "$work" && dpkg-shlibdeps -O -S"$root" -l"$root/usr/lib/trellin" \
  "${elves[@]/#/-e}" 2>"$work/shlibdeps.log" | sed -n 's/^shlibs:Depends=//p') || {
  cat "$work/shlibdeps.log" >&2
  exit 1
}

# The Python module is built for one python3 version (trellin.cpython-311-...).
python=$(find "$root/usr/lib/python3/dist-packages" -name 'trellin.cpython-3*.so' -printf '%f\n' |
  sed -n 's/^trellin\.cpython-3\([0-9]*\)-.*/\1/p')
if [ -z "$python" ]; then
  echo "make-deb: no Python module in the package" >&2
  exit 1
fi
python="python3 (>= 3.$python~), python3 (<< 3.$((python + 1)))"

size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
mkdir -p "$root/DEBIAN"
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@DEPENDS@/$depends/" -e "s/@SIZE@/$size/" -e "s/@PYTHON@/$python/" \
  "$here/control.in" >"$root/DEBIAN/control"

tmp_out=$(mktemp "$(dirname "$out")/.trellin-deb.XXXXXX")
dpkg-deb --root-owner-group -Zxz --build "$root" "$tmp_out" >/dev/null
# mktemp makes the file readable by its owner alone; a package is for everyone.
chmod 644 "$tmp_out"
mv "$tmp_out" "$out"
