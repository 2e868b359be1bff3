# Postwell's tables that run in the Windows build: the sessions against the scripted server, the
# messages, settings and missions. The README lists the others and why they do not run here.
mailsignoff_add_gtest(postwell_tests PREFIX postwell
  SOURCES dns_device_test.cpp mail_device_limits_test.cpp mail_device_send_test.cpp
    mail_device_setting_test.cpp mail_device_smtp_test.cpp mail_mission_test.cpp
    mailbox_device_test.cpp pop3_connection_test.cpp pop3_limits_test.cpp pop3_message_test.cpp
    queue_connection_test.cpp setting_ini_test.cpp smtp_message_test.cpp
    ${PROJECT_SOURCE_DIR}/postwell/engine/queue_connection.cpp
  LIBS Postwell Groundkit platform testsupport)
target_include_directories(postwell_tests PRIVATE ${PROJECT_SOURCE_DIR}/postwell)
add_library(NoExportPlugin MODULE plugins/no_export_plugin.cpp)
set_target_properties(NoExportPlugin PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
add_dependencies(postwell_tests LocalDelivery NoExportPlugin)
