# zelvo_unit: the unit object, the connection settings record and the server
# message parser. It sits above the model, which it owns, so the model never
# has to include anything from the protocol layer above it.
add_library(zelvo_unit STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Connectionsettings.h ${CMAKE_CURRENT_LIST_DIR}/Connectionsettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Zelvo.h ${CMAKE_CURRENT_LIST_DIR}/Zelvo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Commissioningdataparser.h
  ${CMAKE_CURRENT_LIST_DIR}/Commissioningdataparser.cpp
)
target_include_directories(zelvo_unit PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zelvo_unit PUBLIC zelvo_protocol zelvo_link zelvo_model zelvo_errorlog
  Qt6::Core Qt6::Widgets)
