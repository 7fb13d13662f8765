// Running the vellmar tool from the command line tests, and what they read
// from its files.
#pragma once

#include <sys/types.h>

#include <array>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs vellmar with the arguments (already quoted for the shell), after
// the shell text before (such as "cat FILE | ").
ToolRun Vellmar(const std::string& args, const std::string& before = "");

// Runs vellmar with each line of arguments (after before) and expects it
// refused: status 2 and one line of errors that holds the message.
void ExpectRefused(const std::vector<std::pair<std::string, std::string>>& refused, const std::string& before);

std::string Quoted(const std::string& s);

// The path of a bundled example, quoted.
std::string Example(const std::string& name);

// The faces of all polygon lists of a dotXSI file.
long PolygonListFaces(const std::string& xsi);

// The positions and the polygons of the one mesh of a dotXSI file, read
// token by token (numbers and names are separated by blanks and commas).
struct XsiMesh {
  std::vector<std::array<double, 3>> positions;
  std::vector<std::vector<int>> polygons;
};

XsiMesh ReadXsiMesh(const std::string& xsi);

// The signed volume of a closed mesh: positive when its polygons run
// counter-clockwise seen from outside.
double SignedVolume(const XsiMesh& mesh);

// The host documents of the samples folder; none without one.
std::vector<std::filesystem::path> SampleDocuments();

// Starts vellmar with the arguments, its output discarded and its errors
// written to err_path.
pid_t StartVellmar(const std::vector<std::string>& args, const std::string& err_path = "/dev/null");

// Waits for the process: its exit status (-1 when a signal ended it) and
// its peak memory in MiB.
std::pair<int, long> Finish(pid_t pid);

// A document of n by n vertices and (n - 1)^2 quads, of the one material
// named material when that is not empty.
std::string GridDocument(int n, const std::string& material = "");
