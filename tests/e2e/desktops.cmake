# The real program on desktops that desktop.py sets up: under openbox, and
# openbox with the picom compositor, on two screen sizes (label wm); and on
# one X screen split into two monitors side by side (labels e2e, monitors).
include(${CMAKE_CURRENT_LIST_DIR}/harness.cmake)

foreach(wm openbox openbox+picom)
  set(desktop --wm openbox)
  if(wm STREQUAL "openbox+picom")
    list(APPEND desktop --compositor picom)
  endif()
  string(REPLACE "+" "_" tag ${wm})
  foreach(size 1280x1024 1920x1080)
    vistrel_add_e2e_test(wm_${tag}_${size}
      SIZE ${size}
      TIMEOUT 240
      LABELS wm
      DESKTOP ${desktop}
      COMMAND ${VISTREL_E2E_PYTHON} ${VISTREL_E2E_DIR}/wm_test.py
      ENVIRONMENT VISTREL_EXE=$<TARGET_FILE:vistrel> VISTREL_FILTER=$<TARGET_FILE:vistrel-filter> VISTREL_WM=${wm})
  endforeach()
endforeach()

vistrel_add_e2e_test(e2e_monitors
  SIZE 2560x1024
  TIMEOUT 240
  LABELS e2e monitors
  DESKTOP --monitor 1280x1024+0+0 --monitor 1280x1024+1280+0
  COMMAND ${VISTREL_E2E_PYTHON} ${VISTREL_E2E_DIR}/monitors_test.py
  ENVIRONMENT VISTREL_EXE=$<TARGET_FILE:vistrel> VISTREL_SCREEN_CAPTURE=$<TARGET_FILE:e2e_screen_capture>)
