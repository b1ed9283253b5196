// A library without a component table.
extern "C" __attribute__((visibility("default"))) int NoTableHere() { return 1; }
