# zelvo_unit: the unit object, the connection settings record and the server
# message parser. It sits above the model, which it owns, so the model never
# has to include anything from the protocol layer above it.
add_library(zelvo_unit STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Connectionsettings.h ${CMAKE_CURRENT_LIST_DIR}/Connectionsettings.cpp
)
target_include_directories(zelvo_unit PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zelvo_unit PUBLIC zelvo_protocol zelvo_link Qt6::Core)
