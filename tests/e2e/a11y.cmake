# The program on the real accessibility stack (at-spi2-core over a private
# D-Bus), read and driven by a screen reader's client library (pyatspi).
include(${CMAKE_CURRENT_LIST_DIR}/harness.cmake)

vistrel_add_e2e_test(e2e_a11y
  TIMEOUT 120
  COMMAND ${VISTREL_E2E_PYTHON} ${VISTREL_E2E_DIR}/a11y_test.py
  ENVIRONMENT VISTREL_EXE=$<TARGET_FILE:vistrel>)
set_tests_properties(e2e_a11y PROPERTIES LABELS "a11y;e2e")
