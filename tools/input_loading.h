// One input of export or convert, loaded: a host document into the
// stand-in host and prepared as the command line asks, or the scene of a
// dotXSI file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Vellmar/host_binding.h"
#include "host/host_api.h"
#include "w_lib/w_scene.h"
#include "tools/command_line.h"

// A document loaded into the stand-in host, released on every path.
class LoadedDocument {
 public:
  LoadedDocument(const std::string& path, uint64_t max_size);
  ~LoadedDocument();
  LoadedDocument(const LoadedDocument&) = delete;
  LoadedDocument& operator=(const LoadedDocument&) = delete;
  MQDocument get() const { return doc_; }
  // Hands the document over to whoever gives it back to the stand-in
  // (ConvertDocument); this one no longer frees it.
  MQDocument Take();
  const std::string& error() const { return error_; }
  const std::string& warning() const { return warning_; }

 private:
  MQDocument doc_ = nullptr;
  std::string error_;
  std::string warning_;
};

// An input as read: a host document loaded into the stand-in host, or the
// scene of a dotXSI file, which is read without the host.
struct LoadedInput {
  std::string path;  // as the command line names it
  std::unique_ptr<LoadedDocument> document;  // null for a dotXSI file
  WScene scene;
};

// Whether an input is a dotXSI file: by its extension, or (a regular file)
// by its first bytes. A pipe is not read ahead, which would lose its bytes.
bool IsDotXsiInput(const std::string& path);

// Loads the input: a dotXSI file where reads_dotxsi (convert) and no option
// asks for what only a host document has, else a host document, prepared as
// the options ask and with the export dialog's options set. Warnings and
// notes on the input are shown on the way. False with error set to the
// line to report for a bad input. A document's names are read through host,
// bound as the plug-in binds it.
bool LoadInput(const CommandLine& line, const HostTable& host, const std::string& input, bool reads_dotxsi,
               LoadedInput& loaded, std::string& error);
