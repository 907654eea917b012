# The sanitizer settings every test runs with, shared by all test folders:
#   gtest_discover_tests(target PROPERTIES ENVIRONMENT "${ZIRBELON_TEST_ENVIRONMENT}")
# Programs the tests start inherit it. Leaks stay fatal; only the system
# libraries listed in lsan.supp are excused. One variable only: a list would
# not survive gtest_discover_tests, which flattens its PROPERTIES. Builds
# without the sanitizers ignore it.
set(ZIRBELON_TEST_ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:print_suppressions=0")
