// A plug-in module with the faults that the module-table check must catch:
// an entry point missing, one out of its ordinal, an extra export, and the
// compiler's runtime DLLs imported instead of linked in.
#include <string>

extern "C" int MQInit(const char* host_module) { return static_cast<int>(std::string(host_module).size()); }
extern "C" const char* MQEnumFileExt(int index) { return index == 0 ? "xsi" : nullptr; }
extern "C" int MQExtra(void) { return 1; }
