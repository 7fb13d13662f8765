// convert: the checks and the set-up of a conversion; each input is then
// converted by ConvertInput (tools/input_conversion.cpp).
#include <functional>
#include <string>

#include "Vellmar/host_binding.h"
#include "tools/batch.h"
#include "tools/commands.h"
#include "tools/console.h"
#include "tools/exit_status.h"
#include "tools/input_conversion.h"
#include "tools/module_paths.h"
#include "tools/output_formats.h"

int RunConvert(const CommandLine& line) {
  const OutputFormat* format = line.output_format;
  if (!format->write) {
    PrintError(std::string("the ") + format->name + " writer is not available in this build");
    return kBadInput;
  }
  // The writer options were checked against the format as the command line
  // was read: an option that no format of this build takes is refused there.
  Conversion conversion{*format, line.writer, {}};
  const std::string host_path = StandInHostPath();
  if (!BindHost(host_path.c_str(), conversion.host)) {
    PrintError("cannot bind the host interface from " + host_path);
    return kBadInput;
  }
  using namespace std::placeholders;
  return RunBatch(line, *format, conversion.host, true, std::bind(ConvertInput, std::cref(conversion), _1, _2));
}
