#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The source package as a distribution builds it: dpkg-buildpackage twice, from
# the checkout and then from the first build's source package, in other
# folders, at another time, with another umask, time zone, home and (as root)
# as another user. The packages must be byte for byte the same (diffoscope
# names what differs), lintian must say nothing but the notes listed below,
# the program must carry every hardening feature the distribution's flags give
# and the build log must show those flags on every command; then the package
# is installed, used and removed (run.sh). Usage: debian.sh workdir
set -u
src=$(cd "$(dirname "$0")/../.." && pwd)
for tool in dpkg-buildpackage dh lintian hardening-check blhc diffoscope git; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (tools/deps.sh test installs it)"; exit 77; }
done
work=$(realpath -m "$1")
rm -rf "$work"
mkdir -p "$work/one" || exit 1
two=$(mktemp -d) || exit 1
trap 'rm -rf "$two"' EXIT
version=$(cd "$src" && dpkg-parsechangelog -SVersion)
failed() { echo "FAIL: $*"; exit 1; }
lap() { echo "   ($(( SECONDS - start )) s)"; start=$SECONDS; }
start=$SECONDS
jobs=parallel=$(nproc)

echo "-- build 1: the checkout's files as they are, with the suites that need no display"
tree=$work/one/pavelin-$version
mkdir -p "$tree"
(cd "$src" && git ls-files -co --exclude-standard -z | while IFS= read -r -d '' f; do [ -e "$f" ] || [ -L "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf -) | tar -xf - -C "$tree" || failed "copying the checkout"
chmod -R u+rwX,go+rX,go-w "$tree" # the modes a clone under umask 022 has
(cd "$tree" && umask 022 && TZ=UTC DEB_BUILD_OPTIONS=$jobs dpkg-buildpackage -us -uc) >"$work/one/build.log" 2>&1 ||
    { tail -n 40 "$work/one/build.log"; failed "dpkg-buildpackage (log: $work/one/build.log)"; }
lap

echo "-- build 2: from the source package, elsewhere, later, umask 002, UTC+14, without the suites$([ "$(id -u)" -eq 0 ] && echo ', as nobody')"
as=()
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    as=(setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups)
    chown nobody: "$two"
fi
# dpkg-source packs the modes of the tree it is given, and unpacking gives the
# tree the umask's: the tree is unpacked as build 1's was, the build itself
# runs under umask 002.
cp "$work/one/pavelin_$version.dsc" "$work/one/pavelin_$version.tar.xz" "$two/" && chmod a+r "$two"/* || exit 1
(cd "$two" && umask 002 && env HOME="$two" TZ=Etc/GMT-14 DEB_BUILD_OPTIONS="nocheck $jobs" "${as[@]}" sh -c \
    "mkdir out && (umask 022 && dpkg-source -x pavelin_$version.dsc out/pavelin-$version) && cd out/pavelin-$version && dpkg-buildpackage -us -uc") >"$work/two.log" 2>&1 ||
    { tail -n 40 "$work/two.log"; failed "the second dpkg-buildpackage (log: $work/two.log)"; }
lap

echo "-- the two builds, byte for byte"
status=0
cd "$work/one" || exit 1
for f in pavelin_$version.dsc pavelin_$version.tar.xz *.deb; do
    if cmp "$f" "$two/out/$f"; then
        echo "same: $f ($(sha256sum <"$f" | cut -c1-16))"
    else
        echo "-- diffoscope $f"
        diffoscope --no-progress --text - "$f" "$two/out/$f" | head -n 80
        status=1
    fi
done
[ $status -eq 0 ] || failed "two builds of the same source differ"
lap

echo "-- lintian --pedantic --display-info on the .dsc, the .changes and the .deb"
# The notes lintian may give, each for a reason that holds here:
# - hardening-no-fortify-functions: lintian looks for the checked variant of
#   the libc calls it lists, and the program's only one is read(2) into a
#   buffer of the length given, which the compiler proves in bounds and calls
#   unchecked; the checked calls the program does make (__memcpy_chk) are ones
#   lintian leaves out of its list. hardening-check below finds them.
allowed='I: pavelin: hardening-no-fortify-functions [usr/bin/tavrolle]'
tags=$(lintian --pedantic --display-info "pavelin_$version.dsc" pavelin_"$version"_*.changes pavelin_"$version"_*.deb 2>&1 |
       grep -v '^running with root privileges')
echo "$tags"
unexplained=$(grep -E '^[A-Z]: ' <<<"$tags" | grep -vxF "$allowed")
[ -z "$unexplained" ] || failed "lintian: $unexplained"
lap

echo "-- hardening-check on the program"
deb=$work/one/pavelin_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb
dpkg-deb -x "$deb" "$work/one/root" || exit 1
# Control flow protection needs every object marked, the C library's start
# files too, and Debian 12's are not: no build flag could give it here.
report=$(hardening-check --nocfprotection "$work/one/root/usr/bin/tavrolle") || { echo "$report"; failed "hardening-check"; }
echo "$report"
for feature in 'Position Independent Executable' 'Stack protected' 'Fortify Source functions' \
               'Read-only relocations' 'Immediate binding'; do
    grep -q "^ $feature: yes" <<<"$report" || failed "hardening-check: $feature is not yes"
done

echo "-- blhc on the build log"
flags=$(blhc "$work/one/build.log" 2>&1) || { echo "$flags"; failed "blhc: commands without the distribution's flags"; }
[ -z "$flags" ] || { echo "$flags"; failed "blhc"; }
echo "every compile and link command has the flags"
lap

echo "-- installed with apt-get, used, removed"
"$src/tests/package/run.sh" --deb "$deb" || exit 1
lap
echo "PASS: the source package builds the same bytes twice, clean and hardened"
