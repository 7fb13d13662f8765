// The table of output formats against the README's table of formats, which
// users read: one row for each format of the tool, with its name, its
// files and its description, and no row for a format the tool lacks.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tools/output_formats.h"

namespace {

struct ReadmeRow {
  std::vector<std::string> files;  // the extensions in the files column
  std::string description;
};

// The texts between backquotes in a cell.
std::vector<std::string> Quoted(const std::string& cell) {
  std::vector<std::string> texts;
  for (size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open)) {
    const size_t close = cell.find('`', open + 1);
    if (close == std::string::npos) break;
    texts.push_back(cell.substr(open + 1, close - open - 1));
    open = close + 1;
  }
  return texts;
}

// The rows of the table whose head starts "| `--format` |", by format name
// (the first quoted text of the first column).
std::map<std::string, ReadmeRow> ReadmeFormats(const std::string& path) {
  std::ifstream in(path);
  std::map<std::string, ReadmeRow> rows;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("| `--format` |", 0) == 0) {
      inside = true;
      continue;
    }
    if (!inside || line.rfind("|---", 0) == 0) continue;
    if (line.rfind("| ", 0) != 0) break;
    std::vector<std::string> cells;
    for (size_t start = 2, bar; (bar = line.find(" | ", start)) != std::string::npos; start = bar + 3)
      cells.push_back(line.substr(start, bar - start));
    if (cells.size() < 3 || Quoted(cells[0]).empty()) {
      ADD_FAILURE() << "cannot read the README's row: " << line;
      continue;
    }
    ReadmeRow row;
    for (const std::string& text : Quoted(cells[1]))
      if (text.rfind('.', 0) == 0) row.files.push_back(text);
    row.description = cells[2];
    rows[Quoted(cells[0])[0]] = row;
  }
  return rows;
}

}  // namespace

TEST(OutputFormats, TheReadmeListsEachFormatOnce) {
  std::map<std::string, ReadmeRow> readme = ReadmeFormats(VELLMAR_README);
  ASSERT_FALSE(readme.empty()) << "no table of formats in " << VELLMAR_README;
  size_t count = 0;
  const OutputFormat* formats = AllFormats(count);
  for (const OutputFormat* format = formats; format != formats + count; ++format) {
    SCOPED_TRACE(format->name);
    const auto row = readme.find(format->name);
    ASSERT_NE(row, readme.end());
    EXPECT_EQ(row->second.description, format->description);
    std::vector<std::string> files;
    for (const char* extension : format->extensions)
      if (extension) files.push_back(extension);
    if (format->companion_extension) files.push_back(format->companion_extension);
    EXPECT_EQ(row->second.files, files);
    readme.erase(row);
  }
  for (const auto& [name, row] : readme) ADD_FAILURE() << "the README lists " << name << ", which the tool lacks";
}
