# The platform's messaging and threads, and the animation timer, under a
# QCoreApplication without a display.
add_executable(unit_platform_messaging
  platform_messaging/messaging_test.cpp
  timer/qt_main.cpp
)
target_link_libraries(unit_platform_messaging PRIVATE vistrel_platform_core GTest::gtest)
vistrel_add_test(unit_platform_messaging LABELS unit tsan TIMEOUT 120)

add_executable(unit_animtimer
  timer/animtimer_test.cpp
  timer/TextRecorder.cpp
  timer/qt_main.cpp
)
target_link_libraries(unit_animtimer PRIVATE vistrel_animtimer GTest::gtest)
vistrel_add_test(unit_animtimer LABELS unit tsan TIMEOUT 300)

# A worker that never ends: the application's end waits its full 5 s for it.
add_executable(unit_animtimer_stuck_worker
  timer/stuck_worker_test.cpp
  timer/TextRecorder.cpp
  timer/qt_main.cpp
)
target_link_libraries(unit_animtimer_stuck_worker PRIVATE vistrel_animtimer GTest::gtest)
vistrel_add_test(unit_animtimer_stuck_worker LABELS unit slow TIMEOUT 120)
