#ifdef _WIN32
#define TEST_PLUGIN_EXPORT __declspec(dllexport)
#else
#define TEST_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" TEST_PLUGIN_EXPORT int TestPluginAnswer() { return 42; }
