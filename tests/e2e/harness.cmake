# The end-to-end harness: tests that run on a private Xvfb server whose root
# window shows the test desktop (harness.py). Other e2e files include this
# first and register with vistrel_add_e2e_test.
include_guard(GLOBAL)

set(VISTREL_E2E_DIR ${CMAKE_CURRENT_LIST_DIR})
# The harness needs python-xlib, which Debian's own python3 has.
find_program(VISTREL_E2E_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT VISTREL_E2E_PYTHON)
  find_program(VISTREL_E2E_PYTHON NAMES python3 REQUIRED)
endif()
find_program(VISTREL_XVFB Xvfb)
if(NOT VISTREL_XVFB)
  message(WARNING "Xvfb not found: the e2e tests will fail (make deps installs it)")
endif()

# vistrel_add_e2e_test(name [SIZE WxH] [TIMEOUT s] [LABELS ...] [DESKTOP options...]
#                      COMMAND cmd args... [ENVIRONMENT ...])
# Runs COMMAND under with_xvfb.sh after the test desktop has been painted;
# with DESKTOP, on the desktop that desktop.py sets up with those options (a
# window manager, a compositor, monitors). LABELS replace the label e2e.
# COMMAND sees VISTREL_DESKTOP_PPM (the desktop's pixels), VISTREL_E2E_ARTIFACTS
# (where failing checks leave their pictures), VISTREL_E2E_PYTHON and a
# PYTHONPATH that finds harness.py.
function(vistrel_add_e2e_test name)
  cmake_parse_arguments(T "" "SIZE;TIMEOUT" "COMMAND;ENVIRONMENT;LABELS;DESKTOP" ${ARGN})
  if(NOT T_SIZE)
    set(T_SIZE 1024x768)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()
  if(NOT T_LABELS)
    set(T_LABELS e2e)
  endif()
  set(artifacts ${CMAKE_BINARY_DIR}/e2e-artifacts/${name})
  set(desktop)
  if(T_DESKTOP)
    set(desktop ${VISTREL_E2E_PYTHON} ${VISTREL_E2E_DIR}/desktop.py ${T_DESKTOP} --)
  endif()
  add_test(NAME ${name}
           COMMAND ${VISTREL_E2E_DIR}/with_xvfb.sh ${T_SIZE} ${desktop}
                   ${VISTREL_E2E_PYTHON} ${VISTREL_E2E_DIR}/harness.py paint --ppm ${artifacts}/desktop.ppm
                   -- ${T_COMMAND})
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "VISTREL_E2E_ARTIFACTS=${artifacts};VISTREL_E2E_PYTHON=${VISTREL_E2E_PYTHON};PYTHONPATH=${VISTREL_E2E_DIR};${T_ENVIRONMENT}")
endfunction()
