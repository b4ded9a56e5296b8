// Marks the functions the virtual printer's libraries export under their plain C names.
#pragma once

#if defined(_WIN32)
#define FWSIM_EXPORT extern "C" __declspec(dllexport)
#else
#define FWSIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif
