# Groundkit's tables that run in the Windows build (the others need GMime, CUPS, GIO or POSIX
# processes; the README lists them).
mailsignoff_add_gtest(groundkit_tests PREFIX groundkit
  SOURCES tests/address_test.cpp tests/codec_test.cpp tests/encoding_test.cpp tests/header_words_test.cpp
    tests/mime_decode_test.cpp tests/files_test.cpp tests/windows/debug_window_test.cpp
    tests/windows/wide_names_test.cpp
  LIBS Groundkit groundkit_codec platform testsupport
  # The decoding plug-in (GMime) is not built for Windows; the walker's half of these is.
  FILTER "-*WalkerAndPluginGiveTheSameParts*:*WalkerGivesTheCodeAndThePluginStillDecodes*")
target_include_directories(groundkit_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
