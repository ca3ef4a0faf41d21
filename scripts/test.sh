#!/usr/bin/env bash
# Sets up, checks the code style, builds and runs every test: the normal
# build, the window as a Wayland client under headless weston, its Debian
# package checked, the whole suite again under
# AddressSanitizer + UndefinedBehaviorSanitizer, the libFuzzer programs
# built with clang and run for a few seconds each, and the threaded tests
# under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
start=$(date +%s)

stage() { echo; echo "=== $* ($(( $(date +%s) - start )) s)"; }

stage "code style"
# Every tracked source as .clang-format writes it (fix: clang-format -i FILE).
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

stage "build and test"
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The Wayland tests run in the next stage, against a compositor of their own.
ctest --test-dir build --output-on-failure -j"$jobs" -LE wayland

stage "Wayland: the window under headless weston, without and with a seat"
# with_weston.sh starts weston for the command and stops it afterwards.
for seat in "" build/tests/weston-test-seat.so; do
  tests/wayland/with_weston.sh ${seat:+--seat "$seat"} -- \
    ctest --test-dir build --output-on-failure -L wayland | tee build/wayland-tests.log
  # Passed, not skipped for want of a compositor.
  grep -Eq 'gui_wayland_test \.+ +Passed' build/wayland-tests.log
done

stage "Debian package"
packaging/check-package.sh build

stage "address and undefined-behaviour sanitizers"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DTAMBORO_SANITIZE=address
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE wayland

stage "fuzz targets: libFuzzer programs built with clang, a few seconds of each"
# The fuzzer build alone (no tests, no window), each program run from a copy
# of its kept corpus, which --check leaves as it is.
CC=clang CXX=clang++ scripts/build.sh build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBORO_SANITIZE=fuzzer \
  -DBUILD_TESTING=OFF -- fuzzers
fuzz/run_fuzzers.sh --check build-fuzz 5

stage "thread sanitizer (threaded tests)"
scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=Debug -DTAMBORO_SANITIZE=thread -DTAMBORO_FUZZ=OFF -- threaded_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L threaded

stage "all tests passed"
