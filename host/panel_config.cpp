#include "host/panel_config.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <sstream>

#include "host/input_file.h"

namespace kvr::host {

namespace {

std::string Trim(std::string s) {
  auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  s.erase(s.begin(), std::find_if_not(s.begin(), s.end(), blank));
  s.erase(std::find_if_not(s.rbegin(), s.rend(), blank).base(), s.end());
  return s;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

class LineError {
 public:
  LineError(const std::filesystem::path& path, int line) : where_(path.string() + ":" + std::to_string(line) + ": ") {}
  [[noreturn]] void operator()(const std::string& reason) const { throw PanelConfigError(where_ + reason); }

 private:
  std::string where_;
};

// A whole number from `low` to `high`.
int ParseInt(const std::string& field, const char* what, int low, int high, const LineError& fail) {
  const std::string text = Trim(field);
  long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || (error != std::errc() && error != std::errc::result_out_of_range) ||
      end != text.data() + text.size())
    fail(std::string(what) + " is not a whole number: \"" + text + "\"");
  if (error == std::errc::result_out_of_range || value < low || value > high)
    fail(std::string(what) + " " + text + " is out of range (" + std::to_string(low) + " to " + std::to_string(high) +
         ")");
  return static_cast<int>(value);
}

// Whether a module name stays inside the gauges folder it is looked for in: relative, on no drive, and
// never climbing above the folder with "..". Either slash counts, as both do on Windows.
bool InsideGaugesFolder(const std::string& module) {
  if (module.front() == '/' || module.front() == '\\' || module.find(':') != std::string::npos) return false;
  int depth = 0;
  size_t start = 0;
  while (start <= module.size()) {
    const size_t end = std::min(module.find_first_of("/\\", start), module.size());
    const std::string part = module.substr(start, end - start);
    if (part == "..") {
      if (--depth < 0) return false;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return depth > 0;
}

GaugePlacement ParseGauge(const std::string& value, const LineError& fail) {
  // Split at the first five commas; whatever follows the fifth is the parameter string.
  std::vector<std::string> fields;
  size_t start = 0;
  while (fields.size() < 5) {
    size_t comma = value.find(',', start);
    if (comma == std::string::npos) break;
    fields.push_back(value.substr(start, comma - start));
    start = comma + 1;
  }
  fields.push_back(value.substr(start));

  GaugePlacement g;
  const std::string name = Trim(fields[0]);
  const size_t bang = name.find('!');
  if (bang == std::string::npos || bang == 0 || bang + 1 == name.size())
    fail("gauge name must be Module!Gauge, found \"" + name + "\"");
  g.module = name.substr(0, bang);
  g.gauge = name.substr(bang + 1);
  if (std::any_of(g.module.begin(), g.module.end(), [](unsigned char c) { return c < 0x20; }))
    fail("module name holds a control character");
  if (!InsideGaugesFolder(g.module))
    fail("module \"" + g.module +
         "\" is not a name inside the panel's gauges folder (an absolute path or one "
         "climbing out with \"..\" is refused)");
  if (fields.size() < 3) fail("gauge needs at least a name, x and y");
  g.x = ParseInt(fields[1], "x", -kMaxPanelSide, kMaxPanelSide, fail);
  g.y = ParseInt(fields[2], "y", -kMaxPanelSide, kMaxPanelSide, fail);
  if (fields.size() > 3 && !Trim(fields[3]).empty()) g.width = ParseInt(fields[3], "width", INT_MIN, INT_MAX, fail);
  if (fields.size() > 4 && !Trim(fields[4]).empty()) g.height = ParseInt(fields[4], "height", INT_MIN, INT_MAX, fail);
  if (g.width < 0 || g.height < 0) fail("width and height cannot be negative");
  if (g.width > kMaxPanelSide || g.height > kMaxPanelSide)
    fail("width and height cannot exceed " + std::to_string(kMaxPanelSide) + " pixels");
  if (fields.size() > 5) g.parameters = Trim(fields[5]);
  return g;
}

}  // namespace

PanelConfig ParsePanelConfig(const std::string& text, const std::filesystem::path& path) {
  PanelConfig config;
  config.path = path;
  PanelWindow* window = nullptr;  // null outside a [WindowNN] section
  std::istringstream in(text);
  std::string raw;
  for (int number = 1; std::getline(in, raw); ++number) {
    const LineError fail(path, number);
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (const char* comment : {"//", ";"})
      if (auto at = line.find(comment);
          at != std::string::npos && (at == 0 || std::isspace(static_cast<unsigned char>(line[at - 1]))))
        line.erase(at);
    line = Trim(line);
    if (line.empty()) continue;

    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) fail("section header must be [Name]");
      const std::string section = Trim(line.substr(1, line.size() - 2));
      window = nullptr;
      if (StartsWith(Lower(section), "window") && section.size() > 6 &&
          std::all_of(section.begin() + 6, section.end(), [](unsigned char c) { return std::isdigit(c); })) {
        if (config.windows.size() == kMaxPanelWindows)
          fail("more than " + std::to_string(kMaxPanelWindows) + " windows in one panel");
        config.windows.push_back({section, 0, 0, {}});
        window = &config.windows.back();
      }
      continue;
    }

    const size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) fail("expected key=value or [Section]");
    const std::string key = Lower(Trim(line.substr(0, equals)));
    const std::string value = Trim(line.substr(equals + 1));
    if (window == nullptr) continue;  // other sections: titles, views; not ours to check

    if (StartsWith(key, "gauge")) {
      const std::string digits = key.substr(5);
      if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        fail("gauge key must be gaugeNN, found \"" + key + "\"");
      if (window->gauges.size() == kMaxGaugesPerWindow)
        fail("more than " + std::to_string(kMaxGaugesPerWindow) + " gauges in [" + window->name + "]");
      GaugePlacement g = ParseGauge(value, fail);
      g.window = window->name;
      g.line = number;
      window->gauges.push_back(std::move(g));
    } else if (key == "size_mm") {
      const size_t comma = value.find(',');
      if (comma == std::string::npos) fail("size_mm must be width,height");
      window->widthPx = ParseInt(value.substr(0, comma), "size_mm width", 0, kMaxPanelSide, fail);
      window->heightPx = ParseInt(value.substr(comma + 1), "size_mm height", 0, kMaxPanelSide, fail);
    }
  }
  return config;
}

PanelConfig ReadPanelConfig(const std::filesystem::path& path) {
  std::string text;
  try {
    text = ReadInputFile(path, kMaxPanelConfigBytes);
  } catch (const InputFileError& e) {
    throw PanelConfigError(path.string() + ": cannot read the panel configuration: " + e.what());
  }
  return ParsePanelConfig(text, path);
}

}  // namespace kvr::host
