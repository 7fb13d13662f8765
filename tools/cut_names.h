// Names and texture paths that reach the plug-in cut short: the host's
// interface carries each in a buffer of kHostNameBufferSize bytes, its last
// byte the terminating zero, and the plug-in shows nothing of its own.
#pragma once

#include <string>
#include <vector>

#include "Vellmar/host_binding.h"

// One line for each object name, material name and texture path of the
// loaded document that is longer than the interface carries, naming the
// object or material, the cut and what is left. A cut texture path also
// says whether it then names a file beside the document (in folder, looked
// for as the glTF writers look for textures, in the document's code page:
// UTF-8 when utf8_names), which is another file than the one meant. The
// document is read through host, bound as the plug-in binds it.
std::vector<std::string> CutNameWarnings(const HostTable& host, MQDocument doc, const std::string& folder,
                                         bool utf8_names);
