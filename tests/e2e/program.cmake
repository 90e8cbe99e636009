# The real program on Xvfb over the test desktop, driven by pointer and keys
# and checked by screenshots, on a small and a large screen.
include(${CMAKE_CURRENT_LIST_DIR}/harness.cmake)

foreach(area lens stages edges controls)
  foreach(size 1024x768 1920x1080)
    vistrel_add_e2e_test(e2e_program_${area}_${size}
      SIZE ${size}
      TIMEOUT 240
      COMMAND ${VISTREL_E2E_PYTHON} ${VISTREL_E2E_DIR}/program_${area}_test.py
      ENVIRONMENT VISTREL_EXE=$<TARGET_FILE:vistrel> VISTREL_FILTER=$<TARGET_FILE:vistrel-filter>)
  endforeach()
endforeach()
