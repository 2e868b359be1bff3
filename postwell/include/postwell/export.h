#pragma once

#if defined(_WIN32)
#  if defined(POSTWELL_BUILDING)
#    define POSTWELL_API __declspec(dllexport)
#  else
#    define POSTWELL_API __declspec(dllimport)
#  endif
#else
#  define POSTWELL_API __attribute__((visibility("default")))
#endif
