# The soak: the real program for VISTREL_SOAK_SECONDS (180 by default, taken
# from the environment at run time; make soak runs it longer) with the pointer
# sweeping and the settings changing.
include(${CMAKE_CURRENT_LIST_DIR}/harness.cmake)

vistrel_add_e2e_test(e2e_soak
  TIMEOUT 900
  COMMAND ${VISTREL_E2E_PYTHON} ${VISTREL_E2E_DIR}/soak_test.py
  ENVIRONMENT VISTREL_EXE=$<TARGET_FILE:vistrel> VISTREL_FILTER=$<TARGET_FILE:vistrel-filter>)
set_property(TEST e2e_soak APPEND PROPERTY LABELS slow)
