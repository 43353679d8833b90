#!/bin/sh
# The kit as a user gets it: installs the build into a prefix, moves the
# prefix elsewhere (everything in it is relocatable), then builds the
# consumer project against it with CMake's find_package and with
# pkg-config, and runs both builds, the installed panel and one of the
# installed examples, built as its own project, on the lab.
#
#   install_consumer.sh BUILD_DIR CONSUMER_DIR WORK_DIR CC [TOOLCHAIN_FILE]
#
# With a toolchain file (the Windows build) everything is cross-built and
# runs under Wine, in the prefix that the environment names, with the
# kit's bin/ and lab/ folders on WINEPATH.
set -eu
build=$1
consumer=$2
work=$3
cc=$4
toolchain=${5:-}
rm -rf "$work"
mkdir -p "$work"
unset HOSTWIN_REGISTRY

step() { echo "== $*"; }

step "install"
cmake --install "$build" --prefix "$work/staging" >/dev/null
mv "$work/staging" "$work/prefix"
prefix=$work/prefix
(cd "$prefix" && find . -type f | sort)

if [ -n "$toolchain" ]; then
  configure() { cmake "$@" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
                      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null; }
  run() { wine "$@"; }
  export WINEPATH="$prefix/bin;$prefix/lab"
  exe=.exe
  panel=$prefix/lab/ktz3649.exe
  rpath=""
else
  configure() { cmake "$@" -G Ninja -DCMAKE_C_COMPILER="$cc" \
                      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null; }
  run() { "$@"; }
  exe=""
  panel=$prefix/bin/ktz3649
  rpath="-Wl,-rpath,$prefix/lib"
fi

step "find_package(Ktz3649)"
configure -S "$consumer" -B "$work/cmake"
cmake --build "$work/cmake" >/dev/null
run "$work/cmake/consumer$exe"

step "pkg-config ktz3649-lab"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig" PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"
echo "$(pkg-config --modversion ktz3649-lab): $(pkg-config --cflags --libs ktz3649-lab)"
mkdir -p "$work/pkgconfig"
# shellcheck disable=SC2046,SC2086
"$cc" -Wall -Wextra -Werror -o "$work/pkgconfig/consumer$exe" "$consumer/consumer.c" \
      $(pkg-config --cflags --libs ktz3649-lab) $rpath
run "$work/pkgconfig/consumer$exe"

step "the installed panel"
read=$(run "$panel" --fresh ai read -c 4 --signal 4=dc:-3.3)
echo "$read"
case $read in
*"ch4 (+/-5V): -3.30"*) ;;
*) echo "the installed panel did not read -3.30 V"; exit 1 ;;
esac

step "the installed examples"
configure -S "$prefix/share/ktz3649/examples" -B "$work/examples"
cmake --build "$work/examples" --target example_read_voltage >/dev/null
run "$work/examples/read_voltage$exe"
