// A tiny shared library that the platform tests load by its Windows name.
#if defined(_WIN32)
#define PROBE_EXPORT extern "C" __declspec(dllexport)
#else
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PROBE_EXPORT int SuiteProbeValue() { return 4700; }
