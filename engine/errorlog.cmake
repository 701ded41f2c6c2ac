# zelvo_errorlog: status texts, the log (memo and Log.txt) and the queued
# message, collected from any thread for the window's poll; and where the
# front ends find their shipped data and write the log (Datapaths).
add_library(zelvo_errorlog STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Errormanager.h
  ${CMAKE_CURRENT_LIST_DIR}/Errormanager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Datapaths.h
  ${CMAKE_CURRENT_LIST_DIR}/Datapaths.cpp
)
target_include_directories(zelvo_errorlog PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zelvo_errorlog PUBLIC Qt6::Core)
