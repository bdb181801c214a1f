# kve_module(NAME DIR [SOURCES F...] DEPS ...): a static library of the .cc files under DIR
# (not recursing into folders that are modules of their own), or of exactly the files SOURCES
# names (relative to DIR). A folder without sources yet becomes an interface library, so the
# dependency graph can be declared before every folder has code.
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)

function(kve_module name dir)
  cmake_parse_arguments(M "" "" "SOURCES;DEPS" ${ARGN})
  kve_note_module(${name} ${dir} "${M_DEPS}")
  if(M_SOURCES)
    list(TRANSFORM M_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/${dir}/ OUTPUT_VARIABLE srcs)
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cc)
  endif()
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${M_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${M_DEPS})
  endif()
endfunction()

# kve_test_folder(DIR LIBS ...): one test executable per folder of tests/, named after it.
function(kve_test_folder dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cc)
  if(NOT srcs)
    return()
  endif()
  string(REPLACE "/" "_" tname "test_${dir}")
  add_executable(${tname} ${srcs})
  target_include_directories(${tname} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${tname} PRIVATE ${ARGN} kve_testsupport GTest::gtest GTest::gtest_main GTest::gmock)
  # Tests of the one throw-away Samba server (named "*Smb*") run one at a time: some stop it.
  gtest_discover_tests(${tname} DISCOVERY_TIMEOUT 60 TEST_FILTER "-*Smb*"
    PROPERTIES ENVIRONMENT "KVE_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${tname} DISCOVERY_TIMEOUT 60 TEST_FILTER "*Smb*"
    PROPERTIES ENVIRONMENT "KVE_SOURCE_DIR=${CMAKE_SOURCE_DIR}" RESOURCE_LOCK kve_smb_server)
endfunction()
