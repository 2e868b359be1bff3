#ifdef _WIN32
#define NO_EXPORT_PLUGIN_EXPORT __declspec(dllexport)
#else
#define NO_EXPORT_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" NO_EXPORT_PLUGIN_EXPORT int SomethingElse() { return 1; }
