#!/usr/bin/env bash
# Builds the Debian package obs-sayline_<version>_<arch>.deb from a Release build in
# build-package/ (CPack's DEB generator, Depends from dpkg-shlibdeps), lists it and checks it with
# lintian (fails on an error or a warning that packaging/debian/lintian-overrides does not
# explain). The path of the package is the last line printed.
# Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

# Debian's hardening and optimisation flags (-O2 in place of the Release type's -O3, as Debian
# builds), without debug information (the module is stripped). CMake reads no CPPFLAGS, so they
# join the compiler flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"

# Tests stay on: the real-application check (scripts/app-test.sh) builds its helpers here. cpack
# builds what it installs, the module alone, not the whole tree.
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DSAYLINE_SANITIZER=none \
  -DSAYLINE_BUILD_TESTS=ON -DSAYLINE_BUILD_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build build-package -j "$(nproc)" --target obs-sayline

out="$PWD/build-package/deb"
rm -rf "$out"
if ! (cd build-package && cpack -G DEB -B "$out" >cpack.log 2>&1); then
  cat build-package/cpack.log >&2
  echo "package: cpack failed" >&2
  exit 1
fi
debs=("$out"/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package: expected one .deb in $out, found: ${debs[*]}" >&2
  exit 1
fi
deb="build-package/deb/$(basename "${debs[0]}")"

echo "== $deb"
dpkg-deb --field "$deb" Package Version Architecture Section Priority Maintainer Installed-Size \
  Depends
echo "== contents"
dpkg-deb --contents "$deb"
echo "== lintian"
# As root lintian adds a line saying so; it is no finding.
lint_rc=0
lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb" \
  >build-package/lintian.log 2>&1 || lint_rc=$?
grep -v "running with root privileges is not recommended" build-package/lintian.log || true
if [ "$lint_rc" -ne 0 ]; then
  echo "package: lintian found errors or warnings (exit $lint_rc)" >&2
  exit 1
fi
echo "package: lintian shows no errors or warnings"
echo "$deb"
