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
    # The fuzz build only builds fuzz targets; the test target still exists (never built) so
    # that the areas' target_link_libraries calls keep working.
    add_executable(${name} EXCLUDE_FROM_ALL ${ARGN})
    return()
  endif()
  add_executable(${name} ${ARGN})
  vantrel_warnings(${name})
  target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    VANTREL_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests/data"
    VANTREL_RESOURCE_DIR="${VANTREL_RESOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()

# A test of vantrelctl's commands, which runs the tool (tools/vantrelctl/tests/run_vantrelctl.h).
# The tool does not exist in the fuzz build.
function(vantrel_ctl_test name)
  if(VANTREL_FUZZ)
    return()
  endif()
  find_package(nlohmann_json REQUIRED)
  vantrel_test(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE nlohmann_json::nlohmann_json)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE VANTRELCTL="$<TARGET_FILE:vantrelctl>")
  add_dependencies(${name} vantrelctl)
endfunction()
