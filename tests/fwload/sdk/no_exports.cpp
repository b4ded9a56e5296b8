// A shared library that exports none of the SDK's names.
__attribute__((visibility("default"))) int SomethingElseEntirely() { return 1; }
