# Every target of the project compiles with the same strict warnings, and warnings are errors.
function(vantrel_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
    -Wnull-dereference -Wimplicit-fallthrough -Wformat=2)
endfunction()

# A GoogleTest executable from the given sources, registered with CTest.
function(vantrel_test name)
  if(VANTREL_FUZZ)
    return()  # the fuzz build only builds fuzz targets
  endif()
  add_executable(${name} ${ARGN})
  vantrel_warnings(${name})
  target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    VANTREL_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests/data"
    VANTREL_RESOURCE_DIR="${VANTREL_RESOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()
