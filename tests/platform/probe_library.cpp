// A tiny shared library that the platform tests load by its Windows name.
#include "TestExport.h"

TEST_EXPORT int SuiteProbeValue() { return 4700; }
