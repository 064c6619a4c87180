# The main window's tests, and veltrano-screenshots (pictures of every page for the
# documentation; run by scripts/screenshots.sh, not installed) and
# veltrano-window-timing (the window's speed on a long run; not a test).
veltrano_qt_test(tst_tform1 ${CMAKE_CURRENT_SOURCE_DIR}/tst_tform1.cpp)

add_executable(veltrano-screenshots ${CMAKE_CURRENT_SOURCE_DIR}/screenshots.cpp)
target_link_libraries(veltrano-screenshots PRIVATE veltrano_ui)

add_executable(veltrano-window-timing ${CMAKE_CURRENT_SOURCE_DIR}/window_timing.cpp)
target_link_libraries(veltrano-window-timing PRIVATE veltrano_ui)
