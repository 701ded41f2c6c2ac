# zelvo_engine: the worker thread with its job state machine, store and
# forward, the signal-strength poll, and the host seam through which the
# engine reaches a window or a headless front end.
add_library(zelvo_engine STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Enginehost.h
  ${CMAKE_CURRENT_LIST_DIR}/Headlesshost.h ${CMAKE_CURRENT_LIST_DIR}/Headlesshost.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Serialthread.h ${CMAKE_CURRENT_LIST_DIR}/Serialthread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Signalstrengthrefresh.h ${CMAKE_CURRENT_LIST_DIR}/Signalstrengthrefresh.cpp
)
target_include_directories(zelvo_engine PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zelvo_engine PUBLIC
  zelvo_unit zelvo_model zelvo_errorlog zelvo_link zelvo_protocol Qt6::Widgets)
