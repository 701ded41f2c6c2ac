# Tests of the unit object, the connection settings and the data parser.
zelvo_add_test(NAME zelvo_unit_tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FakeComms.h
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionsettingsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommissioningdataparserTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ZelvoTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DecodersFuzzTest.cpp
  LIBS zelvo_unit)
