veltrano_qt_test(tst_chartwidget ${CMAKE_CURRENT_SOURCE_DIR}/tst_chartwidget.cpp)
