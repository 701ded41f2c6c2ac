#pragma once

// A catalogue with interleaved groups, a comment, a foreign element, an orphan
// network and an unknown attribute: shared by the catalogue and list tests.
inline const char *const kSample = R"(<?xml version="1.0"?>
<root>
  <networks>
    <network country="2" name="N-A" apn="apn.a" username="ua" password="pa"/>
  </networks>
  <countries>
    <country ID="1" name="First"/>
    <!-- a comment between records is not a record -->
    <land ID="2" name="Second"/>
  </countries>
  <other><country ID="99" name="Ignored"/></other>
  <networks>
    <network country="1" name="N-B" apn="apn.b" username="" password=""/>
    <network country="7" name="N-Orphan" apn="apn.o" username="uo" password="po" extra="x"/>
    <network country="2" name="N-C" apn="apn.c" username="uc" password="pc"/>
  </networks>
  <countries>
    <country ID="3" name="Third"/>
  </countries>
</root>
)";
