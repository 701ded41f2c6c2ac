# Tests of the unit object, the connection settings and the data parser.
zelvo_add_test(NAME zelvo_unit_tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionsettingsTest.cpp
  LIBS zelvo_unit)
