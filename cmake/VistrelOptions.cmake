# Build flags shared by every target.
#
# The pixel computations are defined to the bit: no fused multiply-add, no
# fast-math, plain SSE arithmetic on x86-64.
add_compile_options(-Wall -Wextra -ffp-contract=off -fno-fast-math)

set(VISTREL_SANITIZE "" CACHE STRING "Sanitizer build: empty, 'address' (ASan+UBSan) or 'thread'")
if(VISTREL_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VISTREL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VISTREL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "Unknown VISTREL_SANITIZE value '${VISTREL_SANITIZE}'")
endif()

# Test registration: one CTest test per test binary, labelled, with the
# environment each layer needs.
function(vistrel_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "LABELS;ENVIRONMENT;ARGS" ${ARGN})
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
                       ENVIRONMENT "${T_ENVIRONMENT}")
endfunction()
