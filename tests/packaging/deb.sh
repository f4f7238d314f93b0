#!/usr/bin/env bash
# Builds the Debian packages from the build, unpacks them into a scratch root and checks them as
# an installation: the files each holds, its control fields, that every library the program and
# the window libraries need resolves there (Qt from the system), and that lintian finds no
# error. Lintian's warnings are printed. The unpacked root stays for packaging-installed-window.
#   deb.sh BUILD_DIR VERSION LIBDIR SCRATCH
set -u
. "$(dirname "$0")/lib.bash"
need cpack dpkg dpkg-deb dpkg-shlibdeps lintian ldd file
build=$1 version=$2 libdir=$3 scratch=$4
major=${version%%.*}
arch=$(dpkg --print-architecture)
root=$scratch/root

rm -rf "$scratch"
mkdir -p "$root"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$scratch/cpack.log")"
program_deb=$scratch/tovik_${version}_$arch.deb
qt6_deb=$scratch/tovik-qt6_${version}_$arch.deb
[ -f "$program_deb" ] && [ -f "$qt6_deb" ] || fail "cpack made $(ls "$scratch"/*.deb 2>/dev/null)"

# contents DEB: the package's files and links, one path a line, sorted, without its folders.
contents() {
  dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/ -> .*/, ""); print substr($0, index($0, "./") + 1) }' | sort
}
expect_contents() { # expect_contents DEB PATH...
  local want
  want=$(printf '%s\n' "${@:2}" | sort)
  [ "$(contents "$1")" = "$want" ] ||
    fail "$(basename "$1") holds, against what it should (<):"$'\n'"$(diff <(echo "$want") <(contents "$1"))"
}
icons=()
for size in 16 24 32 48 64 128 256; do
  icons+=("/usr/share/icons/hicolor/${size}x$size/apps/tovik.png")
done
expect_contents "$program_deb" \
  /usr/bin/tovik \
  "/usr/$libdir/libtovik.so.$major" "/usr/$libdir/libtovik.so.$version" \
  /usr/share/applications/tovik.desktop \
  /usr/share/metainfo/org.linara.tovik.metainfo.xml \
  "${icons[@]}" /usr/share/icons/hicolor/scalable/apps/tovik.svg \
  /usr/share/man/man1/tovik.1.gz \
  /usr/share/doc/tovik/copyright /usr/share/doc/tovik/changelog.gz
expect_contents "$qt6_deb" \
  "/usr/$libdir/libtovik6.so.$major" "/usr/$libdir/libtovik6.so.$version" \
  /usr/share/doc/tovik-qt6/copyright /usr/share/doc/tovik-qt6/changelog.gz

# Control fields: the version is the project's, a maintainer to write to, and dependencies read
# from the binaries, Qt 5 for the program and Qt 6 only for the other package.
for deb in "$program_deb" "$qt6_deb"; do
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$(basename "$deb") is not version $version"
  dpkg-deb -f "$deb" Maintainer | grep -Eq '^[^<>]+ <[^@<> ]+@[^@<> ]+\.[a-z]+>$' ||
    fail "$(basename "$deb") has no maintainer with an address"
done
depends=$(dpkg-deb -f "$program_deb" Depends)
[[ $depends == *libqt5widgets5* && $depends == *libexpat1* && $depends != *qt6* ]] ||
  fail "tovik depends on: $depends"
[[ $(dpkg-deb -f "$qt6_deb" Depends) == *libqt6widgets6* ]] || fail "tovik-qt6 depends on: $(dpkg-deb -f "$qt6_deb" Depends)"

dpkg -x "$program_deb" "$root" && dpkg -x "$qt6_deb" "$root" || fail "dpkg -x failed"

# Each package's changelog opens with the release it was built as.
for package in tovik tovik-qt6; do
  top=$(gzip -dc "$root/usr/share/doc/$package/changelog.gz" | head -n 1)
  [[ $top == "tovik ($version) "* ]] || fail "the changelog of $package opens with '$top', not release $version"
done

# The desktop entry starts a program the package installs, by an icon it installs.
entry=$root/usr/share/applications/tovik.desktop
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon_name=$(sed -n 's/^Icon=//p' "$entry")
[ -x "$root/usr/bin/$exec_name" ] || fail "the entry starts '$exec_name', which is not in usr/bin"
[ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon_name.png" ] || fail "the entry's icon '$icon_name' is not installed"

# Every library resolves: with the unpacked library folder on the search path as asked, and for
# the program also by its own RUNPATH alone, which must lead into the unpacked root.
for elf in "$root/usr/bin/tovik" "$root/usr/$libdir/libtovik.so.$major" "$root/usr/$libdir/libtovik6.so.$major"; do
  file -L "$elf" | grep -q ELF || fail "$elf is not an ELF file"
  out=$(LD_LIBRARY_PATH=$root/usr/$libdir ldd "$elf" 2>&1) || fail "ldd $elf: $out"
  [[ $out != *"not found"* ]] || fail "unresolved in $elf:"$'\n'"$out"
done
found=$(env -u LD_LIBRARY_PATH ldd "$root/usr/bin/tovik" | sed -n "s/^[[:space:]]*libtovik.so.$major => \([^ ]*\) .*/\1/p")
[ -n "$found" ] && [ "$(realpath "$found")" = "$(realpath "$root/usr/$libdir/libtovik.so.$major")" ] ||
  fail "the program finds its library at '$found', not in the unpacked root"
file "$root/usr/bin/tovik" | grep -q 'not stripped' && fail "the packaged program is not stripped"

# Lintian: no error; warnings and the rest are shown.
lint=$(lintian --tag-display-limit 0 "$program_deb" "$qt6_deb" 2>&1)
echo "lintian says:"
echo "${lint:-(nothing)}"
! echo "$lint" | grep -q '^E: ' || fail "lintian reports errors"

echo "ok: $(basename "$program_deb") and $(basename "$qt6_deb") unpacked into $root"
