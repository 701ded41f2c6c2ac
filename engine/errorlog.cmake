# zelvo_errorlog: status texts, the log (memo and Log.txt) and the queued
# message, collected from any thread for the window's poll.
add_library(zelvo_errorlog STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Errormanager.h
  ${CMAKE_CURRENT_LIST_DIR}/Errormanager.cpp
)
target_include_directories(zelvo_errorlog PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zelvo_errorlog PUBLIC Qt6::Core)
