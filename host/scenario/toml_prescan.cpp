#include "host/scenario/toml_prescan.h"

#include <string>
#include <vector>

namespace kvr::host {
namespace {

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool AtEnd() const { return i_ >= text_.size(); }
  char Peek(size_t ahead = 0) const { return i_ + ahead < text_.size() ? text_[i_ + ahead] : '\0'; }
  int Line() const { return line_; }
  void Advance() {
    if (text_[i_] == '\n') ++line_;
    ++i_;
  }
  void SkipBlanks() {
    while (Peek() == ' ' || Peek() == '\t' || Peek() == '\r') Advance();
  }
  void SkipComment() {
    while (!AtEnd() && Peek() != '\n') Advance();
  }
  // Past a string starting here: basic or literal, on one line or multi-line.
  void SkipString() {
    const char quote = Peek();
    const bool multiLine = Peek(1) == quote && Peek(2) == quote;
    for (int n = multiLine ? 3 : 1; n > 0; --n) Advance();
    while (!AtEnd()) {
      if (quote == '"' && Peek() == '\\') {
        Advance();
        if (!AtEnd()) Advance();
        continue;
      }
      if (!multiLine && Peek() == '\n') return;  // unterminated: the parser says so
      if (Peek() == quote && (!multiLine || (Peek(1) == quote && Peek(2) == quote))) {
        for (int n = multiLine ? 3 : 1; n > 0; --n) Advance();
        return;
      }
      Advance();
    }
  }
  // The parts of a key or header up to (not past) one of `stops`, or a line end; `bare` collects the
  // unquoted text without blanks, so that a header's name can be compared.
  int KeyParts(std::string_view stops, std::string* bare = nullptr) {
    int parts = 1;
    while (!AtEnd() && Peek() != '\n' && stops.find(Peek()) == std::string_view::npos) {
      if (Peek() == '"' || Peek() == '\'') {
        if (bare != nullptr) bare->push_back('"');  // a quoted part never matches a bare name
        SkipString();
        continue;
      }
      if (Peek() == '.') ++parts;
      if (bare != nullptr && Peek() != ' ' && Peek() != '\t') bare->push_back(Peek());
      Advance();
    }
    return parts;
  }

 private:
  std::string_view text_;
  size_t i_ = 0;
  int line_ = 1;
};

}  // namespace

TomlPreScan PreScanToml(std::string_view text, int maxDepth, std::string_view arrayName, int maxCount) {
  TomlPreScan result;
  Scanner s(text);
  int tableDepth = 0;  // parts of the last table header
  int count = 0;
  struct Open {
    char kind;  // '[' array, '{' inline table
    int depth;  // of the values inside it
  };
  std::vector<Open> open;
  const auto deeper = [&](int depth) {
    if (depth <= maxDepth) return false;
    result.tooDeepLine = s.Line();
    return true;
  };

  while (!s.AtEnd()) {
    // A statement: a header, a key and its value, a comment or nothing.
    s.SkipBlanks();
    if (s.Peek() == '\n') {
      s.Advance();
      continue;
    }
    if (s.Peek() == '#') {
      s.SkipComment();
      continue;
    }
    if (s.Peek() == '[') {
      const bool array = s.Peek(1) == '[';
      s.Advance();
      if (array) s.Advance();
      std::string name;
      tableDepth = s.KeyParts("]", &name);
      if (deeper(tableDepth)) return result;
      if (array && name == arrayName && ++count > maxCount && result.tooManyLine == 0) result.tooManyLine = s.Line();
      s.SkipComment();  // the closing brackets and whatever follows them on the line
      continue;
    }
    int valueDepth = tableDepth + s.KeyParts("=");
    if (deeper(valueDepth)) return result;
    if (s.Peek() == '=') s.Advance();
    // The value: scalars are stepped over; arrays and inline tables are followed with an explicit stack.
    open.clear();
    while (!s.AtEnd()) {
      const char c = s.Peek();
      if (c == '\n' && open.empty()) break;
      if (c == '#') {
        s.SkipComment();
      } else if (c == '"' || c == '\'') {
        s.SkipString();
      } else if (c == '[' || c == '{') {
        s.Advance();
        open.push_back({c, valueDepth + 1});
        valueDepth = open.back().depth;
        if (deeper(valueDepth)) return result;
        if (c == '{') {
          s.SkipBlanks();
          if (s.Peek() != '}') valueDepth = open.back().depth + s.KeyParts("=}") - 1;
          if (deeper(valueDepth)) return result;
        }
      } else if (c == ']' || c == '}') {
        s.Advance();
        if (!open.empty()) open.pop_back();
        valueDepth = open.empty() ? 0 : open.back().depth;
      } else if (c == ',' && !open.empty() && open.back().kind == '{') {
        s.Advance();
        s.SkipBlanks();
        if (s.Peek() != '}') valueDepth = open.back().depth + s.KeyParts("=}") - 1;
        if (deeper(valueDepth)) return result;
      } else {
        s.Advance();
      }
    }
  }
  return result;
}

}  // namespace kvr::host
