target_sources(veltrano_ui PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/ChartWidget.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ChartWidget.h)
