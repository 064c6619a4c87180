# The main window TForm1 with its small helpers, and the program veltrano.
target_sources(veltrano_ui PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/TForm1.h ${CMAKE_CURRENT_SOURCE_DIR}/TForm1.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/SpinEdit.h ${CMAKE_CURRENT_SOURCE_DIR}/SpinEdit.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CaptionCheckBox.h ${CMAKE_CURRENT_SOURCE_DIR}/CaptionCheckBox.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AboutPage.h ${CMAKE_CURRENT_SOURCE_DIR}/AboutPage.cpp)

add_executable(veltrano ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
target_link_libraries(veltrano PRIVATE veltrano_ui)
