# Sourced by scripts/sanitize.sh and scripts/fuzz.sh: every report stops the
# program with a failure; leaks inside Qt's and the system's own libraries are
# suppressed by tests/sanitizer/lsan.supp, each entry with its reason.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$here/tests/sanitizer/lsan.supp:print_suppressions=0"
