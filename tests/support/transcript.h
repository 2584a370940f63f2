// Reading back what the simulated manager recorded: its transcript (one line
// per call, "KIND key=value ...") and its result files.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace test_support {

using Fields = std::map<std::string, std::string>;

// A whole file as bytes; "" when it cannot be read.
std::string ReadFileText(const std::filesystem::path &path);

// The file's lines, without line ends (a Windows program's CR LF included).
std::vector<std::string> ReadLines(const std::filesystem::path &path);

// The lines of one kind ("EXEC", "DONE", "HA", ...).
std::vector<std::string> LinesOf(const std::vector<std::string> &lines, const std::string &kind);

// A line's key=value fields; "out=" may be empty and is then still there.
Fields FieldsOf(const std::string &line);
// One field's value; "" when the line lacks it.
std::string FieldOf(const std::string &line, const std::string &key);

} // namespace test_support
