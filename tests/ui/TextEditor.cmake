veltrano_qt_test(tst_ttexteditor ${CMAKE_CURRENT_SOURCE_DIR}/tst_ttexteditor.cpp)
