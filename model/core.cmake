# zelvo_model, first half: the unit's own I/O list with its fixed per-model
# tables, input types, available input types and UOM descriptions, and the
# bounded block reader every Populate... reader goes through.
add_library(zelvo_model STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Blockreader.h
  ${CMAKE_CURRENT_LIST_DIR}/Blockreader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Io.h
  ${CMAKE_CURRENT_LIST_DIR}/Io.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Ios.h
  ${CMAKE_CURRENT_LIST_DIR}/Ios.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Fixediolists.h
  ${CMAKE_CURRENT_LIST_DIR}/Fixediolists.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Inputtype.h
  ${CMAKE_CURRENT_LIST_DIR}/Inputtype.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Inputtypes.h
  ${CMAKE_CURRENT_LIST_DIR}/Inputtypes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Availableinputtype.h
  ${CMAKE_CURRENT_LIST_DIR}/Availableinputtype.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Availableinputtypes.h
  ${CMAKE_CURRENT_LIST_DIR}/Availableinputtypes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Uomdescription.h
  ${CMAKE_CURRENT_LIST_DIR}/Uomdescription.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Uomdescriptions.h
  ${CMAKE_CURRENT_LIST_DIR}/Uomdescriptions.cpp
)
target_include_directories(zelvo_model PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zelvo_model PUBLIC zelvo_protocol zelvo_errorlog Qt6::Widgets)
