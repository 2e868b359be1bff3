# mailsignoff_add_gtest(<target> PREFIX <ctest-name-prefix> SOURCES ... LIBS ... [ENVIRONMENT ...]
#                       [PEERS <peer>...] [TIMEOUT <seconds>] [FILTER <gtest filter>])
# One GoogleTest executable whose cases become CTest tests named "<prefix>.<Suite>.<Case>", so that
# the name tells what a test needs (a real server's name, a program's name). A prefix that names a
# test peer (scripts/peers/<prefix>.sh) makes the tests use that peer; PEERS names further ones
# (cmake/Peers.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/Peers.cmake)

function(mailsignoff_add_gtest target)
  cmake_parse_arguments(ARG "" "PREFIX;TIMEOUT;FILTER" "SOURCES;LIBS;ENVIRONMENT;PEERS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(filter "")
  if(ARG_FILTER)
    set(filter TEST_FILTER "${ARG_FILTER}")
  endif()
  gtest_discover_tests(${target}
    TEST_PREFIX "${ARG_PREFIX}."
    ${filter}
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT})

  mailsignoff_is_peer("${ARG_PREFIX}" prefix_is_peer)
  if(prefix_is_peer)
    list(PREPEND ARG_PEERS ${ARG_PREFIX})
    list(REMOVE_DUPLICATES ARG_PEERS)
  endif()
  mailsignoff_add_needed_peers(ARG_PEERS)
  set(environment ${ARG_ENVIRONMENT})
  foreach(peer IN LISTS ARG_PEERS)
    mailsignoff_use_peer(${peer} environment)
  endforeach()

  # Properties whose values are lists do not survive gtest_discover_tests(PROPERTIES), so they are
  # set by a file that CTest reads after the discovered tests.
  if(environment OR ARG_PEERS)
    set(properties_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_properties.cmake)
    set(properties "")
    if(environment)
      string(APPEND properties " ENVIRONMENT [==[${environment}]==]")
    endif()
    if(ARG_PEERS)
      string(APPEND properties " FIXTURES_REQUIRED [==[${ARG_PEERS}]==] RESOURCE_LOCK [==[${ARG_PEERS}]==]")
    endif()
    file(WRITE ${properties_file}
      "foreach(test IN LISTS ${target}_TESTS)\n"
      "  set_tests_properties(\"\${test}\" PROPERTIES${properties})\n"
      "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties_file})
  endif()
endfunction()
