#!/usr/bin/env bash
# make check: the test suite under AddressSanitizer + UndefinedBehaviorSanitizer,
# the threaded suites under ThreadSanitizer, every fuzz target for a bounded
# time, the stress suite at a larger scale, and the end-to-end suites under
# the host's audio-thread guard. Prints the figures at the end; exits non-zero
# when anything fails.
set -uo pipefail

JOBS=${JOBS:-2}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
STRESS_SCALE=${STRESS_SCALE:-10}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

summary=()
failed=0
note() { summary+=("$1"); }
fail() { summary+=("FAILED: $1"); failed=1; }

# Runs a GoogleTest program; echoes the number of tests that ran and passed.
run_gtest() {
    local binary=$1; shift
    local log
    log=$(mktemp)
    if "$binary" "$@" >"$log" 2>&1; then
        grep -Eo '^\[  PASSED  \] [0-9]+' "$log" | grep -Eo '[0-9]+$' | tail -1
        rm -f "$log"
        return 0
    fi
    echo "---- $binary failed:" >&2
    tail -60 "$log" >&2
    rm -f "$log"
    return 1
}

configure() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/tools/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/tools/tsan.supp}

# ---- AddressSanitizer + UndefinedBehaviorSanitizer: every suite ------------------------
echo "== address,undefined: building" >&2
if configure build-asan -DNIVOLO_SANITIZE=address,undefined && cmake --build build-asan -j"$JOBS" >/dev/null; then
    total=0
    for suite in build-asan/*_tests; do
        # The live suite's host opens the window system, whose library loads its message-bus
        # client at run time; that client keeps a connection it never frees and is unloaded at
        # exit, so no suppression can name the frames. Leaks are checked in every other suite.
        leaks=1
        [ "$(basename "$suite")" = live_tests ] && leaks=0
        if n=$(ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=$leaks" run_gtest "$suite"); then total=$((total + n));
        else fail "$(basename "$suite") under address,undefined"; fi
    done
    note "address,undefined: $total tests passed"
else
    fail "address,undefined build"
fi

# ---- ThreadSanitizer: the suites that run threads -----------------------------------------
threaded=(base_tests dsp_tests processor_tests plugin_tests stress_tests)
echo "== thread: building" >&2
if configure build-tsan -DNIVOLO_SANITIZE=thread && cmake --build build-tsan -j"$JOBS" --target "${threaded[@]}" >/dev/null; then
    total=0
    for suite in "${threaded[@]}"; do
        [ -x "build-tsan/$suite" ] || continue
        # The kernel's address-space randomisation can collide with TSan's fixed layout.
        if n=$(run_gtest setarch "$(uname -m)" -R "build-tsan/$suite"); then total=$((total + n));
        else fail "$suite under thread"; fi
    done
    note "thread: $total tests passed"
else
    fail "thread build"
fi

# ---- Stress at scale and the audio-thread guard (plain build) -------------------------------
echo "== stress and audio-thread guard" >&2
if configure build && cmake --build build -j"$JOBS" >/dev/null; then
    if [ -x build/stress_tests ]; then
        log=$(mktemp)
        if NIVOLO_STRESS_SCALE=$STRESS_SCALE build/stress_tests >"$log" 2>&1; then
            cycles=$(grep -Eo 'stress: [0-9]+ cycles' "$log" | grep -Eo '[0-9]+' | awk '{s += $1} END {print s + 0}')
            note "stress (scale $STRESS_SCALE): ${cycles:-?} cycles completed"
        else
            tail -60 "$log" >&2
            fail "stress_tests at scale $STRESS_SCALE"
        fi
        rm -f "$log"
    fi
    guarded=0
    for suite in plugin_tests measure_tests processor_tests host_tests; do
        [ -x "build/$suite" ] || continue
        if n=$(NIVOLO_AUDIO_GUARD=1 run_gtest "build/$suite"); then guarded=$((guarded + n));
        else fail "$suite under the audio-thread guard"; fi
    done
    report=$(NIVOLO_AUDIO_GUARD=1 build/nivolo-host measure 2>&1 >/dev/null | grep 'audio-thread guard' || true)
    note "audio-thread guard: $guarded tests passed; measure: ${report:-no report}"
    # Denormal input may cost at most twice normal input, end to end.
    if cmake --build build -j"$JOBS" --target nivolo_denormal_cost >/dev/null && cost=$(build/nivolo_denormal_cost); then
        note "$cost"
    else
        fail "${cost:-denormal cost: did not run}"
    fi
else
    fail "plain build"
fi

# ---- Fuzzing -----------------------------------------------------------------------------
echo "== fuzz: building" >&2
if command -v clang++ >/dev/null && CC=clang CXX=clang++ configure build-fuzz -DNIVOLO_FUZZ=ON \
        -DNIVOLO_SANITIZE=address,undefined && cmake --build build-fuzz -j"$JOBS" --target fuzz_targets >/dev/null; then
    if out=$(bash fuzz/run-all.sh build-fuzz "$FUZZ_SECONDS"); then
        while IFS= read -r line; do note "$line"; done <<<"$out"
    else
        while IFS= read -r line; do note "$line"; done <<<"$out"
        fail "fuzzing"
    fi
else
    fail "fuzz build"
fi

echo
echo "make check:"
for line in "${summary[@]}"; do echo "  $line"; done
exit $failed
