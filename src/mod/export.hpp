// Marks the mod's entry points as exported under their plain names; everything else in the
// library is hidden.
#pragma once

#if defined(_WIN32)
#  define BRMB_EXPORT extern "C" __declspec(dllexport)
#else
#  define BRMB_EXPORT extern "C" __attribute__((visibility("default")))
#endif
