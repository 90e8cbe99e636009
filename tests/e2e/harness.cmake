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

# vistrel_add_e2e_test(name [SIZE WxH] [TIMEOUT s] COMMAND cmd args... [ENVIRONMENT ...])
# Runs COMMAND under with_xvfb.sh after the test desktop has been painted.
# COMMAND sees VISTREL_DESKTOP_PPM (the desktop's pixels), VISTREL_E2E_ARTIFACTS
# (where failing checks leave their pictures), VISTREL_E2E_PYTHON and a
# PYTHONPATH that finds harness.py.
function(vistrel_add_e2e_test name)
  cmake_parse_arguments(T "" "SIZE;TIMEOUT" "COMMAND;ENVIRONMENT" ${ARGN})
  if(NOT T_SIZE)
    set(T_SIZE 1024x768)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()
  set(artifacts ${CMAKE_BINARY_DIR}/e2e-artifacts/${name})
  add_test(NAME ${name}
           COMMAND ${VISTREL_E2E_DIR}/with_xvfb.sh ${T_SIZE}
                   ${VISTREL_E2E_PYTHON} ${VISTREL_E2E_DIR}/harness.py paint --ppm ${artifacts}/desktop.ppm
                   -- ${T_COMMAND})
  set_tests_properties(${name} PROPERTIES LABELS e2e TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "VISTREL_E2E_ARTIFACTS=${artifacts};VISTREL_E2E_PYTHON=${VISTREL_E2E_PYTHON};PYTHONPATH=${VISTREL_E2E_DIR};${T_ENVIRONMENT}")
endfunction()
