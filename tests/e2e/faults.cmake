# Close requests the real program meets at awkward moments (under the modal
# setup dialog, among busy frames), on Xvfb over the test desktop.
include(${CMAKE_CURRENT_LIST_DIR}/harness.cmake)

vistrel_add_e2e_test(e2e_faults
  TIMEOUT 240
  COMMAND ${VISTREL_E2E_PYTHON} ${VISTREL_E2E_DIR}/faults_test.py
  ENVIRONMENT VISTREL_EXE=$<TARGET_FILE:vistrel>)
