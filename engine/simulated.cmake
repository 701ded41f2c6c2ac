# zelvo_simulated: the in-process simulated unit of the front ends'
# --simulate, on the simulator and the link's port registries.
add_library(zelvo_simulated STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Simulatedunit.h ${CMAKE_CURRENT_LIST_DIR}/Simulatedunit.cpp
)
target_include_directories(zelvo_simulated PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zelvo_simulated PUBLIC zelvo_sim zelvo_link zelvo_branding Qt6::Core)
