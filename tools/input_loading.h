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
#include "tools/standard_output.h"

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

// "-": the input read from standard input.
inline bool IsStandardInput(const std::string& input) { return input == "-"; }

// Reads standard input whole (at most max_size bytes) into the scratch
// file, and tells by its first bytes whether it is a dotXSI file or a host
// document. False with error set to one line for input that cannot be
// taken: an archive (.mqoz, whose entries need a file to seek in), one past
// max_size, or a failed read or write.
bool StageStandardInput(uint64_t max_size, ScratchFile& file, bool& dotxsi, std::string& error);

// A reader's line about the file at path, naming it as the user did
// (standard input read from where it was staged).
std::string ReaderLineNamed(std::string text, const std::string& path, const std::string& input);

// Sets what the stand-in's export dialog applies (--scale, --axes,
// --cancel), the same for every input: once, before any input is loaded.
void SetUpLoading(const CommandLine& line);

// Loads the input ("-": standard input, staged as above; its textures are
// looked for in the current folder): a dotXSI file where reads_dotxsi (convert) and no option
// asks for what only a host document has, else a host document, prepared as
// the options ask and with the export dialog's options set. Warnings and
// notes on the input are shown on the way. False with error set to the
// line to report for a bad input. A document's names are read through host,
// bound as the plug-in binds it.
bool LoadInput(const CommandLine& line, const HostTable& host, const std::string& input, bool reads_dotxsi,
               LoadedInput& loaded, std::string& error);
