# mailsignoff_add_gtest(<target> PREFIX <ctest-name-prefix> SOURCES ... LIBS ... [ENVIRONMENT ...])
# One GoogleTest executable whose cases become CTest tests named "<prefix>.<Suite>.<Case>", so that
# the name tells what a test needs (a real server's name, a program's name).
function(mailsignoff_add_gtest target)
  cmake_parse_arguments(ARG "" "PREFIX;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${target}
    TEST_PREFIX "${ARG_PREFIX}."
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()
