# pellora_library(NAME DIR [DEPS ...] [PRIVATE_DEPS ...] [EXCEPT file ...]): a static
# library from every .cpp in DIR (not recursive) but the EXCEPT ones, or an interface
# library while DIR has no sources yet. Public include root is src/, so headers are included
# as "layer/File.h".
function(pellora_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS;EXCEPT" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
  foreach(file ${ARG_EXCEPT})
    list(REMOVE_ITEM sources ${dir}/${file})
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_compile_options(${name} PRIVATE ${PELLORA_WARNINGS})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# pellora_test(NAME DIR DEPS ... [UNITS LAYER]): one GoogleTest program from every .cpp in
# DIR. UNITS: the program's units of the layers up to LAYER (a TUnitLayer name) start
# before the tests, as they do in the program.
function(pellora_test name dir)
  cmake_parse_arguments(ARG "" "UNITS" "" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_compile_options(${name} PRIVATE ${PELLORA_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_UNPARSED_ARGUMENTS} GTest::gtest pellora_testsupport)
  pellora_test_main(${name} ${ARG_UNITS})
  target_compile_definitions(${name} PRIVATE
    PELLORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    PELLORA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()

# pellora_test_main(NAME [LAYER]): GoogleTest's own main, or with LAYER one that starts the
# program's units up to that layer first.
function(pellora_test_main name)
  if(ARGN)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/UnitsMain.cpp)
    target_compile_definitions(${name} PRIVATE PELLORA_UNITS_UP_TO=${ARGN})
    target_link_libraries(${name} PRIVATE pellora_shell GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
endfunction()
