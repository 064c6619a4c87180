target_sources(veltrano_ui PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/TTextEditor.cpp ${CMAKE_CURRENT_SOURCE_DIR}/TTextEditor.h)
