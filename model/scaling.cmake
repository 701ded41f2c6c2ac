# Units of measure with their scaling tables, and the server-side I/O list.
if(TARGET zelvo_model)
  target_sources(zelvo_model PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Modelexceptions.h
    ${CMAKE_CURRENT_LIST_DIR}/Uom.h
    ${CMAKE_CURRENT_LIST_DIR}/Uom.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Uoms.h
    ${CMAKE_CURRENT_LIST_DIR}/Uoms.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Uommanager.h
    ${CMAKE_CURRENT_LIST_DIR}/Uommanager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Serversideio.h
    ${CMAKE_CURRENT_LIST_DIR}/Serversideio.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Serversideios.h
    ${CMAKE_CURRENT_LIST_DIR}/Serversideios.cpp
  )
endif()
