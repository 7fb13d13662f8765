// Compile-time proof that the stand-in's functions that an export calls, and
// its own functions that the driver binds where it finds them, have
// exactly the types through which the plug-in calls them: the same result,
// arguments and calling convention (stdcall on 32-bit Windows, where a
// mismatch would unbalance the stack on every call).
#include <type_traits>

#include "Vellmar/host_binding.h"
#include "host/host_api.h"

#define VHOST_SAME_TYPE(name) \
  static_assert(std::is_same_v<decltype(&name), PFN_##name>, #name " does not match the plug-in's PFN_" #name)

#define MQ_HOST_FUNCTION(name)
#define MQ_EXPORT_FUNCTION(result, name, parameters) VHOST_SAME_TYPE(name);
#include "Vellmar/host_function_list.inc"
#undef MQ_EXPORT_FUNCTION
#undef MQ_HOST_FUNCTION
#define STAND_IN_FUNCTION(result, name, parameters) VHOST_SAME_TYPE(name);
#include "Vellmar/stand_in_function_list.inc"
#undef STAND_IN_FUNCTION
#undef VHOST_SAME_TYPE
