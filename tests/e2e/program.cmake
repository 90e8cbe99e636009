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

# The same pixels where the server has no MIT-SHM (a remote display): the
# capture and the lens picture both take Qt's way.
foreach(area lens stages)
  vistrel_add_e2e_test(e2e_program_${area}_no_shm
    SIZE 1024x768
    TIMEOUT 240
    COMMAND ${VISTREL_E2E_PYTHON} ${VISTREL_E2E_DIR}/program_${area}_test.py
    ENVIRONMENT VISTREL_EXE=$<TARGET_FILE:vistrel> VISTREL_FILTER=$<TARGET_FILE:vistrel-filter> VISTREL_XVFB_MIT_SHM=off)
endforeach()
