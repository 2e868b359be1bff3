# Real servers that tests run against, each started by its script scripts/peers/<peer>.sh. A peer
# runs as one private instance on loopback for the whole test run: CTest starts it before the first
# test that needs it (test <peer>.start, FIXTURES_SETUP) and stops it after the last (<peer>.stop,
# FIXTURES_CLEANUP). Its tests get MAILSIGNOFF_<PEER>_DIR and MAILSIGNOFF_<PEER>_PORT and run one at a
# time (RESOURCE_LOCK <peer>), since they share the server's mailboxes.

set(MAILSIGNOFF_DOVECOT_PORT 11110 CACHE STRING "Loopback port of the test Dovecot POP3 server")
set(MAILSIGNOFF_POSTFIX_PORT 2525 CACHE STRING "Loopback port of the test Postfix SMTP server")
set(MAILSIGNOFF_DNSMASQ_PORT 15353 CACHE STRING "Loopback port of the test dnsmasq DNS server")
set(MAILSIGNOFF_POSTGRESQL_PORT 5433 CACHE STRING "Loopback port of the test PostgreSQL cluster")
set(MAILSIGNOFF_CUPS_PORT 11631 CACHE STRING "Loopback port of the test CUPS scheduler")

# The peers that must run beside a peer: Postfix authenticates through Dovecot's SASL socket and
# delivers into Dovecot's maildirs.
set(MAILSIGNOFF_POSTFIX_NEEDS dovecot)

# mailsignoff_add_needed_peers(<list-var>): adds the peers that the listed peers need, so that their
# tests hold those peers' fixtures, locks and environment too.
function(mailsignoff_add_needed_peers list_var)
  set(peers ${${list_var}})
  foreach(peer IN LISTS ${list_var})
    string(TOUPPER ${peer} PEER)
    list(APPEND peers ${MAILSIGNOFF_${PEER}_NEEDS})
  endforeach()
  list(REMOVE_DUPLICATES peers)
  set(${list_var} ${peers} PARENT_SCOPE)
endfunction()

# True when scripts/peers/<name>.sh exists.
function(mailsignoff_is_peer name out)
  if(EXISTS ${PROJECT_SOURCE_DIR}/scripts/peers/${name}.sh)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# mailsignoff_use_peer(<peer> <environment-var>): registers the peer's start and stop tests once and
# appends the peer's environment entries to the list variable <environment-var>.
function(mailsignoff_use_peer peer environment_var)
  string(TOUPPER ${peer} PEER)
  set(script ${PROJECT_SOURCE_DIR}/scripts/peers/${peer}.sh)
  if(NOT EXISTS ${script})
    message(FATAL_ERROR "no start script for the test peer '${peer}' (${script})")
  endif()
  set(dir ${CMAKE_BINARY_DIR}/peers/${peer})
  set(port ${MAILSIGNOFF_${PEER}_PORT})
  if(NOT port)
    message(FATAL_ERROR "set MAILSIGNOFF_${PEER}_PORT for the test peer '${peer}'")
  endif()

  get_property(registered GLOBAL PROPERTY MAILSIGNOFF_PEER_${PEER}_REGISTERED)
  if(NOT registered)
    set_property(GLOBAL PROPERTY MAILSIGNOFF_PEER_${PEER}_REGISTERED TRUE)
    add_test(NAME ${peer}.start COMMAND ${script} start ${dir} ${port})
    add_test(NAME ${peer}.stop COMMAND ${script} stop ${dir})
    set_tests_properties(${peer}.start PROPERTIES FIXTURES_SETUP ${peer} TIMEOUT 60)
    set_tests_properties(${peer}.stop PROPERTIES FIXTURES_CLEANUP ${peer} TIMEOUT 60)
    # A peer's start finds the peers it needs running, and they keep running until after its stop.
    set(needs ${MAILSIGNOFF_${PEER}_NEEDS})
    if(needs)
      set(needs_environment "")
      foreach(needed IN LISTS needs)
        mailsignoff_use_peer(${needed} needs_environment)
      endforeach()
      set_tests_properties(${peer}.start ${peer}.stop PROPERTIES
        FIXTURES_REQUIRED "${needs}" ENVIRONMENT "${needs_environment}")
    endif()
  endif()

  set(entries ${${environment_var}} MAILSIGNOFF_${PEER}_DIR=${dir} MAILSIGNOFF_${PEER}_PORT=${port})
  set(${environment_var} ${entries} PARENT_SCOPE)
endfunction()
