// Running the vellmar tool from the command line tests, and what they read
// from its files.
#include "tool_runs.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "test_files.h"

ToolRun Vellmar(const std::string& args, const std::string& before) {
  const std::string out = TempPath("cli.out"), err = TempPath("cli.err");
  const std::string command =
      before + "\"" + VELLMAR_TOOL + "\" " + args + " >\"" + out + "\" 2>\"" + err + "\"";
  ToolRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  return run;
}

void ExpectRefused(const std::vector<std::pair<std::string, std::string>>& refused, const std::string& before) {
  for (const auto& [args, message] : refused) {
    const ToolRun run = Vellmar(args, before);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string Example(const std::string& name) { return Quoted(std::string(VELLMAR_EXAMPLES) + "/" + name); }

long PolygonListFaces(const std::string& xsi) {
  long faces = 0;
  const std::string head = "SI_PolygonList {\n";
  for (size_t at = xsi.find(head); at != std::string::npos; at = xsi.find(head, at + 1)) {
    size_t line = at + head.size();
    while (xsi[line] == '\t') ++line;
    faces += std::strtol(xsi.c_str() + line, nullptr, 10);
  }
  return faces;
}

XsiMesh ReadXsiMesh(const std::string& xsi) {
  std::vector<std::string> tokens;
  std::string token;
  for (const char c : xsi + "\n") {
    if (c == ' ' || c == ',' || c == '\n' || c == '\t' || c == '\r') {
      if (!token.empty()) tokens.push_back(token);
      token.clear();
    } else {
      token += c;
    }
  }
  XsiMesh mesh;
  const auto at = [&](const std::string& name) {
    return static_cast<size_t>(std::find(tokens.begin(), tokens.end(), name) - tokens.begin());
  };
  size_t k = at("\"POSITION\"");
  if (k == tokens.size()) return mesh;
  const long vertices = std::stol(tokens[k - 1]);
  for (long v = 0; v < vertices; ++v, k += 3)
    mesh.positions.push_back({std::stod(tokens[k + 1]), std::stod(tokens[k + 2]), std::stod(tokens[k + 3])});
  k = at("SI_PolygonList");
  if (k == tokens.size()) return mesh;
  // {, the polygon count, the attribute list, the material, the corner count,
  // then each polygon's corner count, then the corners' vertices.
  const long count = std::stol(tokens[k + 2]);
  size_t corner = k + 6 + static_cast<size_t>(count);
  for (long f = 0; f < count; ++f) {
    mesh.polygons.emplace_back();
    for (long c = std::stol(tokens[k + 6 + static_cast<size_t>(f)]); c > 0; --c)
      mesh.polygons.back().push_back(std::stoi(tokens[corner++]));
  }
  return mesh;
}

double SignedVolume(const XsiMesh& mesh) {
  double volume = 0.0;
  for (const std::vector<int>& polygon : mesh.polygons) {
    const auto& a = mesh.positions[static_cast<size_t>(polygon[0])];
    for (size_t k = 1; k + 1 < polygon.size(); ++k) {
      const auto& b = mesh.positions[static_cast<size_t>(polygon[k])];
      const auto& c = mesh.positions[static_cast<size_t>(polygon[k + 1])];
      volume += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                 a[2] * (b[0] * c[1] - b[1] * c[0])) / 6.0;
    }
  }
  return volume;
}

std::vector<std::filesystem::path> SampleDocuments() {
  std::vector<std::filesystem::path> files;
  if (std::string(VELLMAR_MQO_SAMPLES).empty() || !std::filesystem::is_directory(VELLMAR_MQO_SAMPLES)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(VELLMAR_MQO_SAMPLES))
    if (entry.path().extension() == ".mqo" || entry.path().extension() == ".mqoz") files.push_back(entry.path());
  return files;
}

pid_t StartVellmar(const std::vector<std::string>& args, const std::string& err_path) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(null, 1);
    dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(VELLMAR_TOOL)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(VELLMAR_TOOL, argv.data());
    _exit(127);
  }
  return pid;
}

std::pair<int, long> Finish(pid_t pid) {
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss / 1024};
}

std::string GridDocument(int n, const std::string& material) {
  const std::string head = "Metasequoia Document\nFormat Text Ver 1.0\n\n";
  std::string text = head + (material.empty() ? "" : "Material 1 {\n\t\"" + material + "\" col(1 0 0 1)\n}\n") +
                     "Object \"grid\" {\n\tvertex " + std::to_string(n * n) + " {\n";
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) text += "\t\t" + std::to_string(x) + " " + std::to_string(y) + " 0.5\n";
  text += "\t}\n\tface " + std::to_string((n - 1) * (n - 1)) + " {\n";
  for (int y = 0; y + 1 < n; ++y)
    for (int x = 0; x + 1 < n; ++x) {
      const int v = y * n + x;
      text += "\t\t4 V(" + std::to_string(v) + " " + std::to_string(v + 1) + " " + std::to_string(v + n + 1) + " " +
              std::to_string(v + n) + (material.empty() ? ")\n" : ") M(0)\n");
    }
  return text + "\t}\n}\nEof\n";
}
