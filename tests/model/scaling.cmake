# Units of measure, scaling and the server-side I/O list.
zelvo_add_test(NAME scaling_tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ScalingTestSupport.h
    ${CMAKE_CURRENT_LIST_DIR}/Recordinglistview.h
    ${CMAKE_CURRENT_LIST_DIR}/UomTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UomsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServersideioTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServersideiosTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ScalingFuzzTest.cpp
  LIBS zelvo_model)
