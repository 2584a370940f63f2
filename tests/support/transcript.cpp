#include "transcript.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace test_support {

std::string ReadFileText(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> ReadLines(const std::filesystem::path &path) {
  std::vector<std::string> lines;
  std::istringstream text(ReadFileText(path));
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> LinesOf(const std::vector<std::string> &lines, const std::string &kind) {
  std::vector<std::string> picked;
  for (const std::string &line : lines)
    if (line.rfind(kind + " ", 0) == 0)
      picked.push_back(line);
  return picked;
}

Fields FieldsOf(const std::string &line) {
  Fields fields;
  std::istringstream words(line);
  for (std::string word; words >> word;) {
    const std::size_t eq = word.find('=');
    if (eq != std::string::npos)
      fields[word.substr(0, eq)] = word.substr(eq + 1);
  }
  fields.try_emplace("out", "");
  return fields;
}

std::string FieldOf(const std::string &line, const std::string &key) {
  const Fields fields = FieldsOf(line);
  const auto found = fields.find(key);
  return found != fields.end() ? found->second : "";
}

} // namespace test_support
