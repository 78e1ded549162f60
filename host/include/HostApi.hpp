// Export macro of the stand-in host library. The real host is a DLL the mod links
// against; the stand-in is a shared library built the same way.
#pragma once

#if defined(_WIN32)
#  if defined(BRAMBLEON_HOST_BUILD)
#    define RC_HOST_API __declspec(dllexport)
#  else
#    define RC_HOST_API __declspec(dllimport)
#  endif
#else
#  define RC_HOST_API __attribute__((visibility("default")))
#endif
