# Sourced by scripts/test.sh and scripts/stress-test.sh: the environment each build's tests run
# in, and one run of a build's suite that reports its wall time and its ten slowest tests.

# The rasteriser's GL library keeps some memory for the life of the process; nothing else is
# suppressed. llvmpipe draws the tests' small targets on two threads.
export LSAN_OPTIONS="suppressions=$PWD/tests/osmesa.supp"
export LP_NUM_THREADS=2

# ctest's limit for one test, and the environment of the build's tests. The sanitizer builds run
# several times slower: their tests' waits get five times the suite's deadline (60 s), still
# inside ctest's limit.
suite_settings() {
  case "$(basename "$1")" in
    build-asan)
      suite_timeout=600
      suite_env=(ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
                 FOOTLIGHT_TEST_TIME_SCALE=5) ;;
    build-tsan)
      suite_timeout=600
      # A race ends the test at once; the software rasteriser draws on the calling thread.
      suite_env=(TSAN_OPTIONS=halt_on_error=1 LP_NUM_THREADS=0 FOOTLIGHT_TEST_TIME_SCALE=5) ;;
    *)
      suite_timeout=300
      suite_env=() ;;
  esac
}

# run_suite LABEL BUILD_DIR [ctest options...]: the build's whole suite; prints the run's wall
# time and the ten slowest tests (from ctest's per-test times), passed or not. Fails as ctest does.
run_suite() {
  local label=$1 dir=$2
  shift 2
  suite_settings "$dir"
  local log="$dir/ctest-last.log" start=$SECONDS status=0
  env "${suite_env[@]}" ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout "$suite_timeout" "$@" \
    2>&1 | tee "$log" || status=$?
  echo "== $label: tests took $(elapsed $((SECONDS - start))); the ten slowest =="
  grep -E '^ *[0-9]+/[0-9]+ +Test +#[0-9]+: ' "$log" |
    sed -E 's/^.*Test +#[0-9]+: ([^ ]+) .* ([0-9.]+) sec$/\2 \1/' | sort -rn |
    awk 'NR <= 10 { printf "  %8.2f s  %s\n", $1, $2 }'
  return "$status"
}

elapsed() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }
