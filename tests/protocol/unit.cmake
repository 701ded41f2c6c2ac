# Tests of the unit object, the connection settings and the data parser.
zelvo_add_test(NAME zelvo_unit_tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FakeComms.h
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionsettingsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommissioningdataparserTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ZelvoTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DecodersFuzzTest.cpp
  LIBS zelvo_unit)

# The unit object and the parser against the simulated unit.
zelvo_add_test(NAME zelvo_unit_e2e_tests LABEL e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/UnitSimulatorE2ETest.cpp
  LIBS zelvo_unit zelvo_sim)
