// The batch loop of export and convert.
#include "tools/batch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>
#include <vector>

#include "w_lib/util/text.h"
#include "w_lib/writers/file_replace.h"
#include "tools/console.h"
#include "tools/exit_status.h"
#include "tools/file_identity.h"
#include "tools/interrupt_cleanup.h"
#include "tools/standard_output.h"

namespace {

// The file name of a path without its folder and extension.
std::string Stem(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string OutputFor(const CommandLine& line, const std::string& input, const char* extension) {
  if (line.out_dir.empty()) return line.output;
  const char last = line.out_dir.back();
  const bool has_separator = last == '/' || last == '\\';
  return line.out_dir + (has_separator ? "" : "/") + Stem(input) + extension;
}

// The files that writing output makes: the output, and its companion
// beside it (an OBJ file's material file, a .gltf file's buffer).
std::vector<std::string> FilesWrittenFor(const std::string& output, const OutputFormat& format) {
  std::vector<std::string> files{output};
  if (format.companion_extension) {
    const std::string companion = ReplaceExtension(output.c_str(), format.companion_extension);
    if (companion != output) files.push_back(companion);
  }
  return files;
}

// Refuses, before any work, a run in which an output is one of the inputs,
// however either is spelled: writing it would destroy the document.
bool OutputsSpareInputs(const CommandLine& line, const OutputFormat& format) {
  std::vector<std::pair<FileIdentity, const std::string*>> inputs;
  for (const std::string& input : line.inputs) {
    FileIdentity identity;
    if (IdentifyFile(input, identity) && identity.regular) inputs.emplace_back(identity, &input);
  }
  bool spared = true;
  for (const std::string& input : line.inputs) {
    for (const std::string& file : FilesWrittenFor(OutputFor(line, input, format.extensions[0]), format)) {
      // "-" is standard output, which may have been sent to an input.
      FileIdentity identity;
      if (!(file == "-" && line.out_dir.empty() ? IdentifyStandardOutput(identity) : IdentifyFile(file, identity)))
        continue;
      for (const auto& [known, name] : inputs) {
        if (SameFile(identity, known)) {
          PrintError((file == "-" ? "standard output" : file) + ": not written: it is the input " + *name);
          spared = false;
          break;
        }
      }
    }
  }
  return spared;
}

// Refuses, before any work, an output that cannot take the format: one of
// several files, or one with a companion file beside it, cannot go to
// standard output; nor can a companion be made beside a device.
bool OutputTakesFormat(const CommandLine& line, const OutputFormat& format) {
  if (!line.out_dir.empty()) return true;
  const bool to_stdout = IsStandardOutput(line.output);
  if (to_stdout && format.companion_extension) {
    PrintError(std::string(format.name) + " cannot be written to standard output: its " +
               format.companion_extension + " file needs a path beside it");
    return false;
  }
  if (to_stdout && !format.can_stream) {
    PrintError(std::string(format.name) + " cannot be written to standard output: it is more than one file");
    return false;
  }
  FileIdentity identity;
  if (format.companion_extension && IdentifyFile(line.output, identity) && !identity.regular) {
    PrintError(line.output + ": not written: " + format.name + " needs a file, with its " +
               format.companion_extension + " file beside it");
    return false;
  }
  return true;
}

// The words for a failed write's reason (a system error code).
std::string Reason(int error) { return error != 0 ? std::strerror(error) : "the file could not be written"; }

// Writes the output through write into a scratch file and copies that to
// standard output; returns 0 or the system error code of the failure.
int WriteToStandardOutput(LoadedInput& input, const OutputFormat& format, const WriteInput& write,
                          bool& copy_failed) {
  int error = 0;
  {
    ScratchFile scratch;
    if (const WriteResult made = scratch.Create(format.extensions[0]); !made) return made.error();
    if (!scratch.folder().empty()) BeginScratch(scratch.path(), scratch.folder());
    BeginOutputs(FilesWrittenFor(scratch.path(), format));
    error = write(input, scratch.path());
    EndOutputs();
    if (error == 0) {
      ProgressStage("copying to standard output");
      error = CopyToStandardOutput(scratch.path());
      copy_failed = error != 0;
    }
  }
  EndScratch();
  return error;
}

InputOutcome Written(const std::string& output) { return {InputOutcome::Kind::kWritten, kOk, output, ""}; }
InputOutcome Skipped(int status, std::string reason) {
  return {InputOutcome::Kind::kSkipped, status, "", std::move(reason)};
}
InputOutcome Failed(int status, std::string reason) {
  return {InputOutcome::Kind::kFailed, status, "", std::move(reason)};
}

// What the loop carries from one input to the next.
struct Batch {
  const CommandLine& line;
  const OutputFormat& format;
  const HostTable& host;
  bool reads_dotxsi;
  const WriteInput& write;
  bool to_stdout;
  std::map<std::string, std::string> written;  // each file written -> its input
};

// One input: its output's files checked, the input loaded, the output
// written.
InputOutcome ProcessInput(Batch& batch, const std::string& input) {
  const std::string output = OutputFor(batch.line, input, batch.format.extensions[0]);
  const std::vector<std::string> files = FilesWrittenFor(output, batch.format);
  for (const std::string& file : files) {
    const auto taken = batch.written.find(file);
    if (taken != batch.written.end())
      return Skipped(kBadInput, input + ": not written, " + file + " already holds the output of " + taken->second);
  }
  // An output that cannot be written (a folder in the way of its
  // companion, a read-only file) fails before the work.
  for (size_t f = 0; f < files.size() && !batch.to_stdout; ++f) {
    if (const int blocked = CheckFileWritable(files[f]))
      return Skipped(kCannotWrite, files[f] + ": cannot write: " + Reason(blocked));
  }
  ProgressStage("reading");
  LoadedInput loaded;
  std::string error;
  if (!LoadInput(batch.line, batch.host, input, batch.reads_dotxsi, loaded, error)) return Failed(kBadInput, error);
  if (batch.to_stdout) {
    bool copy_failed = false;
    const int write_error = WriteToStandardOutput(loaded, batch.format, batch.write, copy_failed);
    if (write_error != 0)
      return Failed(kCannotWrite, std::string(copy_failed ? "standard output" : "the scratch file for standard output") +
                                      ": cannot write: " + Reason(write_error));
  } else {
    BeginOutputs(files);
    const int write_error = batch.write(loaded, output);
    EndOutputs();
    if (write_error != 0) return Failed(kCannotWrite, output + ": cannot write: " + Reason(write_error));
  }
  for (const std::string& file : files) batch.written.emplace(file, input);
  return Written(output);
}

// The progress of a batch while it is in scope, ending with its summary:
// the inputs written, and as failed every other input begun (also one that
// an error ending the whole run cut short).
class BatchProgress {
 public:
  BatchProgress(size_t inputs, const std::vector<InputOutcome>& outcomes) : outcomes_(outcomes) {
    BeginProgress(inputs);
  }
  ~BatchProgress() {
    const size_t written = static_cast<size_t>(std::count_if(outcomes_.begin(), outcomes_.end(), [](const auto& o) {
      return o.kind == InputOutcome::Kind::kWritten;
    }));
    EndProgress(written, begun_ - written);
  }
  BatchProgress(const BatchProgress&) = delete;
  BatchProgress& operator=(const BatchProgress&) = delete;
  void Begin(size_t index, const std::string& input) {
    ProgressFile(index, input);
    begun_ = index + 1;
  }

 private:
  const std::vector<InputOutcome>& outcomes_;
  size_t begun_ = 0;
};

}  // namespace

int RunBatch(const CommandLine& line, const OutputFormat& format, const HostTable& host, bool reads_dotxsi,
             const WriteInput& write) {
  if (!line.out_dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(line.out_dir, ec);
    if (ec) {
      PrintError(line.out_dir + ": cannot create the folder: " + ec.message());
      return kCannotWrite;
    }
  }
  if (!OutputTakesFormat(line, format) || !OutputsSpareInputs(line, format)) return kBadInput;
  Batch batch{line, format, host, reads_dotxsi, write, line.out_dir.empty() && IsStandardOutput(line.output), {}};
  std::vector<InputOutcome> outcomes;
  outcomes.reserve(line.inputs.size());
  BatchProgress progress(line.inputs.size(), outcomes);
  int status = kOk;
  for (size_t i = 0; i < line.inputs.size(); ++i) {
    const std::string& input = line.inputs[i];
    progress.Begin(i, input);
    outcomes.push_back(ProcessInput(batch, input));
    const InputOutcome& outcome = outcomes.back();
    status = WorseStatus(status, outcome.status);
    if (outcome.kind != InputOutcome::Kind::kWritten)
      PrintError(outcome.reason);
    else if (!batch.to_stdout && !line.quiet)
      std::printf("%s -> %s\n", EscapeControlCharacters(input).c_str(), EscapeControlCharacters(outcome.output).c_str());
  }
  return status;
}
