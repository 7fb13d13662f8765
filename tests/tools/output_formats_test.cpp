// The tool's tables against the README's, which users read: one row for
// each format of the tool, with its name, its files and its description,
// and no row for a format the tool lacks; one row for each option of export
// and convert, made from the option list, and for a writer option naming
// the formats that take it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tools/command_line.h"
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
    // Markdown writes a bar inside a table's cell as \|.
    std::string text = cell.substr(open + 1, close - open - 1);
    for (size_t bar; (bar = text.find("\\|")) != std::string::npos;) text.erase(bar, 1);
    texts.push_back(text);
    open = close + 1;
  }
  return texts;
}

// The cells of each row of the README's table whose head starts with head.
std::vector<std::vector<std::string>> ReadmeTable(const std::string& path, const std::string& head) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(head, 0) == 0) {
      inside = true;
      continue;
    }
    if (!inside || line.rfind("|---", 0) == 0) continue;
    if (line.rfind("| ", 0) != 0) break;
    // "| a | b |": the texts between the bars.
    std::vector<std::string> cells;
    size_t start = 2;
    for (size_t bar; (bar = line.find(" | ", start)) != std::string::npos; start = bar + 3)
      cells.push_back(line.substr(start, bar - start));
    if (line.size() >= start + 2 && line.compare(line.size() - 2, 2, " |") == 0)
      cells.push_back(line.substr(start, line.size() - 2 - start));
    rows.push_back(cells);
  }
  return rows;
}

// The rows of the table of formats, by format name (the first quoted text
// of the first column).
std::map<std::string, ReadmeRow> ReadmeFormats(const std::string& path) {
  std::map<std::string, ReadmeRow> rows;
  for (const std::vector<std::string>& cells : ReadmeTable(path, "| `--format` |")) {
    if (cells.size() < 3 || Quoted(cells[0]).empty()) {
      ADD_FAILURE() << "cannot read the README's row of " << (cells.empty() ? "nothing" : cells[0]);
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

// The README's table of options as the option list makes it: one row for
// each option of export and convert, in the order of the help, spelt as the
// help spells it, with its README text.
std::string ReadmeOptionRows() {
  size_t count = 0;
  const OptionSpec* options = AllOptions(count);
  std::string rows;
  for (const OptionSpec* option = options; option != options + count; ++option) {
    if (!option->readme) continue;
    std::string spelt = option->value_name ? std::string(option->name) + " " + option->value_name : option->name;
    // Markdown writes a bar inside a table's cell as \|.
    for (size_t bar = 0; (bar = spelt.find('|', bar)) != std::string::npos; bar += 2) spelt.insert(bar, "\\");
    rows += std::string("| ") + (option->alias ? std::string("`") + option->alias + "`, " : "") + "`" + spelt +
            "` | " + option->readme + " |\n";
  }
  return rows;
}

TEST(OutputFormats, TheReadmesTableOfOptionsIsMadeFromTheOptionList) {
  std::ifstream in(VELLMAR_README, std::ios::binary);
  std::string readme((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string head = "| option | meaning |\n|---|---|\n";
  const size_t start = readme.find(head);
  ASSERT_NE(start, std::string::npos) << "no table of options in " << VELLMAR_README;
  size_t end = start + head.size();
  while (readme.compare(end, 2, "| ") == 0) end = readme.find('\n', end) + 1;
  const std::string rows = ReadmeOptionRows();
  const char* write = std::getenv("VELLMAR_WRITE_README");
  if (write && *write && readme.compare(start + head.size(), end - start - head.size(), rows) != 0) {
    readme.replace(start + head.size(), end - start - head.size(), rows);
    std::ofstream(VELLMAR_README, std::ios::binary) << readme;
    return;
  }
  EXPECT_EQ(readme.substr(start + head.size(), end - start - head.size()), rows)
      << "the README's table of options is not that of the option list: build the target readme to write it";

  // Every option of export or convert has its row, and no other; a writer
  // option names, among the quoted texts of its meaning, the formats that
  // take it (where this build has any) and no other.
  size_t count = 0;
  const OptionSpec* options = AllOptions(count);
  for (const OptionSpec* option = options; option != options + count; ++option) {
    SCOPED_TRACE(option->name);
    EXPECT_EQ(option->readme != nullptr, (option->commands & kForWriting) != 0);
    const std::string taking = FormatNamesTaking(option->writer_option);
    if (!option->writer_option || taking.empty()) continue;
    std::string named;
    for (const std::string& text : Quoted(option->readme))
      if (FindFormat(text)) named += (named.empty() ? "" : ", ") + text;
    EXPECT_EQ(named, taking);
  }
}
