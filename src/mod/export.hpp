// Marks the mod's entry points as exported under their plain names; everything else in the
// library is hidden. Another module declares them with the import form.
#pragma once

#if defined(_WIN32)
#  define BRMB_EXPORT extern "C" __declspec(dllexport)
#  define BRMB_IMPORT extern "C" __declspec(dllimport)
#else
#  define BRMB_EXPORT extern "C" __attribute__((visibility("default")))
#  define BRMB_IMPORT extern "C"
#endif
