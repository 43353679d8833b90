#!/bin/sh
# The kit as a user gets it: installs the build into a prefix, moves the
# prefix elsewhere (everything in it is relocatable), then builds the
# consumer project against it with CMake's find_package and with
# pkg-config, and runs both builds, the installed panel and the installed
# examples (one of them run) on the lab.
#
#   install_consumer.sh BUILD_DIR CONSUMER_DIR WORK_DIR CC
set -eu
build=$1
consumer=$2
work=$3
cc=$4
rm -rf "$work"
mkdir -p "$work"
unset HOSTWIN_REGISTRY

step() { echo "== $*"; }

step "install"
cmake --install "$build" --prefix "$work/staging" >/dev/null
mv "$work/staging" "$work/prefix"
prefix=$work/prefix
(cd "$prefix" && find . -type f | sort)

step "find_package(Ktz3649)"
cmake -S "$consumer" -B "$work/cmake" -G Ninja -DCMAKE_C_COMPILER="$cc" \
      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/consumer"

step "pkg-config ktz3649-lab"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
echo "$(pkg-config --modversion ktz3649-lab): $(pkg-config --cflags --libs ktz3649-lab)"
mkdir -p "$work/pkgconfig"
# shellcheck disable=SC2046
"$cc" -Wall -Wextra -Werror -o "$work/pkgconfig/consumer" "$consumer/consumer.c" \
      $(pkg-config --cflags --libs ktz3649-lab) \
      -Wl,-rpath,"$(pkg-config --variable=libdir ktz3649)"
"$work/pkgconfig/consumer"

step "the installed panel"
read=$("$prefix/bin/ktz3649" ai read -c 4 --signal 4=dc:-3.3)
echo "$read"
case $read in
*"ch4 (+/-5V): -3.30"*) ;;
*) echo "the installed panel did not read -3.30 V"; exit 1 ;;
esac

step "the installed examples"
cmake -S "$prefix/share/ktz3649/examples" -B "$work/examples" -G Ninja -DCMAKE_C_COMPILER="$cc" \
      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/examples" >/dev/null
"$work/examples/read_voltage"
