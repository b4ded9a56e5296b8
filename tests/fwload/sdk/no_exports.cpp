// A shared library that exports none of the SDK's names.
#include "TestExport.h"

TEST_EXPORT int SomethingElseEntirely() { return 1; }
