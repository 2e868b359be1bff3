extern "C" __attribute__((visibility("default"))) int TestPluginAnswer() { return 42; }
