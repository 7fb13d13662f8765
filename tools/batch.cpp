// The batch loop of export and convert.
#include "tools/batch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include "w_lib/util/path_parts.h"
#include "w_lib/util/text.h"
#include "w_lib/writers/file_replace.h"
#include "tools/console.h"
#include "tools/exit_status.h"
#include "tools/file_identity.h"
#include "tools/interrupt_cleanup.h"
#include "tools/jobs.h"
#include "tools/output_names.h"
#include "tools/standard_output.h"

namespace {

std::string OutputFor(const CommandLine& line, const std::string& input, const char* extension) {
  if (line.out_dir.empty()) return line.output;
  const bool has_separator = SplitSystemPath(line.out_dir).name == line.out_dir.size();
  return line.out_dir + (has_separator ? "" : "/") + SystemStem(input) + extension;
}

// The files that writing output makes: the output, and its companion
// beside it (an OBJ file's material file, a .gltf file's buffer).
std::vector<std::string> FilesWrittenFor(const std::string& output, const OutputFormat& format) {
  std::vector<std::string> files{output};
  if (format.companion_extension) {
    const std::string companion = SystemWithExtension(output, format.companion_extension);
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
std::string Reason(const std::string& file, int error) {
  return error != 0 ? WriteFailureReason(file, error) : Reason(error);
}

// Writes the output through write into a scratch file and copies that to
// standard output; returns 0 or the system error code of the failure.
int WriteToStandardOutput(LoadedInput& input, const OutputFormat& format, const WriteInput& write,
                          bool& copy_failed) {
  int error = 0;
  {
    ScratchFile scratch;
    if (const WriteResult made = scratch.Create(format.extensions[0]); !made) return made.error();
    if (!scratch.folder().empty()) BeginScratch(scratch.path(), scratch.folder());
    const std::vector<std::string> files = FilesWrittenFor(scratch.path(), format);
    BeginOutputs(files);
    error = write(input, scratch.path());
    EndOutputs(files);
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
InputOutcome UpToDate(const std::string& output) { return {InputOutcome::Kind::kUpToDate, kOk, output, ""}; }
InputOutcome Skipped(int status, std::string reason) {
  return {InputOutcome::Kind::kSkipped, status, "", std::move(reason)};
}
InputOutcome Failed(int status, std::string reason) {
  return {InputOutcome::Kind::kFailed, status, "", std::move(reason)};
}

// Whether every file of an output exists and was changed after the input,
// as make decides: neither is read.
bool OutputsNewer(const std::string& input, const std::vector<std::string>& files) {
  std::error_code ec;
  const auto input_time = std::filesystem::last_write_time(input, ec);
  if (ec) return false;
  for (const std::string& file : files) {
    const auto file_time = std::filesystem::last_write_time(file, ec);
    if (ec || !(file_time > input_time)) return false;
  }
  return true;
}

// What the inputs share while they run, side by side or one at a time.
struct Batch {
  const CommandLine& line;
  const OutputFormat& format;
  const HostTable& host;
  bool reads_dotxsi;
  const WriteInput& write;
  bool to_stdout;
  std::mutex mutex;                            // guards written
  std::map<std::string, std::string> written;  // each file written -> its input
};

// Whether a file is written already, and by which input.
bool Taken(Batch& batch, const std::string& file, std::string& by) {
  std::lock_guard<std::mutex> lock(batch.mutex);
  const auto taken = batch.written.find(file);
  if (taken == batch.written.end()) return false;
  by = taken->second;
  return true;
}

// One input: its output's files checked, the input loaded, the output
// written. An input whose outputs share a file with an earlier input's runs
// only once that one has ended (RunJobsInOrder's after), so that the first
// written keeps the file whatever the number of jobs.
InputOutcome ProcessInput(Batch& batch, const std::string& input) {
  const std::string output = OutputFor(batch.line, input, batch.format.extensions[0]);
  const std::vector<std::string> files = FilesWrittenFor(output, batch.format);
  for (const std::string& file : files) {
    std::string by;
    if (Taken(batch, file, by))
      return Skipped(kBadInput, input + ": not written, " + file + " already holds the output of " + by);
  }
  if (batch.line.newer && !batch.to_stdout && OutputsNewer(input, files)) return UpToDate(output);
  // An output that leads to a file of another kind, or that cannot be
  // written (a folder in the way of its companion, a read-only file),
  // fails before the work.
  for (size_t f = 0; f < files.size() && !batch.to_stdout; ++f) {
    std::string unfit;
    if (!OutputFileFitsFormat(batch.line, batch.format, files[f], f > 0, unfit)) return Skipped(kBadInput, unfit);
    if (const int blocked = CheckFileWritable(files[f]))
      return Skipped(kCannotWrite, files[f] + ": cannot write: " + Reason(files[f], blocked));
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
    EndOutputs(files);
    if (write_error != 0) return Failed(kCannotWrite, output + ": cannot write: " + Reason(output, write_error));
  }
  std::lock_guard<std::mutex> lock(batch.mutex);
  for (const std::string& file : files) batch.written.emplace(file, input);
  return Written(output);
}

// The same, an input that runs out of memory failing on its own.
InputOutcome ProcessInputWhole(Batch& batch, const std::string& input) {
  try {
    return ProcessInput(batch, input);
  } catch (const std::bad_alloc&) {
    return Failed(kBadInput, input + ": out of memory");
  }
}

// For each input, the earlier inputs whose outputs share a file with its
// own.
std::vector<std::vector<size_t>> SharedOutputs(const CommandLine& line, const OutputFormat& format) {
  std::vector<std::vector<size_t>> earlier(line.inputs.size());
  std::map<std::string, std::vector<size_t>> users;
  for (size_t i = 0; i < line.inputs.size(); ++i) {
    for (const std::string& file : FilesWrittenFor(OutputFor(line, line.inputs[i], format.extensions[0]), format)) {
      std::vector<size_t>& before = users[file];
      earlier[i].insert(earlier[i].end(), before.begin(), before.end());
      before.push_back(i);
    }
  }
  return earlier;
}

// The progress of a batch while it is in scope, ending with its summary:
// the inputs written, those up to date, and as failed every other input
// shown (also one that an error ending the whole run cut short).
class BatchProgress {
 public:
  BatchProgress(size_t inputs, const char* done, const std::vector<InputOutcome>& outcomes)
      : done_(done), outcomes_(outcomes) {
    BeginProgress(inputs);
  }
  ~BatchProgress() {
    BatchCounts counts;
    counts.done = done_;
    for (const InputOutcome& o : outcomes_) {
      counts.written += o.kind == InputOutcome::Kind::kWritten;
      counts.up_to_date += o.kind == InputOutcome::Kind::kUpToDate;
    }
    counts.failed = begun_ - counts.written - counts.up_to_date;
    EndProgress(counts);
  }
  BatchProgress(const BatchProgress&) = delete;
  BatchProgress& operator=(const BatchProgress&) = delete;
  void Begin(size_t index, const std::string& input) { ProgressFile(index, input); }
  void Shown(size_t index) { begun_ = index + 1; }

 private:
  const char* done_;
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
  SetUpLoading(line);
  Batch batch{line, format, host, reads_dotxsi, write, line.out_dir.empty() && IsStandardOutput(line.output), {}, {}};
  const size_t count = line.inputs.size();
  std::vector<InputOutcome> outcomes(count);
  const std::vector<std::vector<size_t>> earlier = SharedOutputs(line, format);
  BatchProgress progress(count, reads_dotxsi ? "converted" : "exported", outcomes);
  int status = kOk;
  const auto work = [&](size_t i) {
    progress.Begin(i, line.inputs[i]);
    outcomes[i] = ProcessInputWhole(batch, line.inputs[i]);
  };
  const auto show = [&](size_t i) {
    progress.Shown(i);
    const InputOutcome& outcome = outcomes[i];
    status = WorseStatus(status, outcome.status);
    if (outcome.kind == InputOutcome::Kind::kSkipped || outcome.kind == InputOutcome::Kind::kFailed)
      PrintError(outcome.reason);
    else if (outcome.kind == InputOutcome::Kind::kWritten && !batch.to_stdout && !line.quiet)
      PrintResult(ShownText(line.inputs[i]) + " -> " + ShownText(outcome.output));
  };
  RunJobsInOrder(count, JobCount(line.jobs, count), work, show, [&](size_t i) { return earlier[i]; });
  return status;
}
