// Reading the tables of a TOML input: a `Fields` reader takes the keys of one table one by one, checks each
// for its type and range, and reports the first key nobody took, each failure with the file and line.
#pragma once

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/scenario/scenario.h"

namespace kvr::host::toml_fields {

// Where an input comes from, and how its failures are reported: ScenarioError with the file and line.
class Reader {
 public:
  explicit Reader(std::filesystem::path file) : file_(std::move(file)) {}

  [[noreturn]] void Fail(const toml::source_region& where, const std::string& reason) const {
    Fail(static_cast<int>(where.begin.line), reason);
  }
  [[noreturn]] void Fail(int line, const std::string& reason) const {
    throw ScenarioError(file_.string() + ":" + std::to_string(std::max(line, 1)) + ": " + reason);
  }
  const std::filesystem::path& File() const { return file_; }

 private:
  std::filesystem::path file_;
};

// The keys of one table, taken one by one; Finish() reports the first key nobody took.
class Fields {
 public:
  Fields(const Reader& reader, const toml::table& table, std::string where)
      : reader_(reader), table_(table), where_(std::move(where)) {}

  int Line() const { return std::max(1, static_cast<int>(table_.source().begin.line)); }
  bool Has(const char* key) const { return table_.contains(key); }

  const toml::node* Node(const char* key) {
    taken_.insert(key);
    return table_.get(key);
  }

  std::optional<double> OptionalNumber(const char* key, double min, double max) {
    const toml::node* node = Node(key);
    if (node == nullptr) return std::nullopt;
    double value;
    if (const auto* i = node->as_integer()) value = static_cast<double>(i->get());
    else if (const auto* f = node->as_floating_point()) value = f->get();
    else reader_.Fail(node->source(), Name(key) + " must be a number");
    if (!std::isfinite(value) || value < min || value > max) {
      std::ostringstream s;
      s << Name(key) << " = " << value << " is outside " << min << " to " << max;
      reader_.Fail(node->source(), s.str());
    }
    return value;
  }
  double Number(const char* key, double min, double max) {
    if (!Has(key)) Missing(key);
    return *OptionalNumber(key, min, max);
  }
  double Number(const char* key, double min, double max, double fallback) {
    return OptionalNumber(key, min, max).value_or(fallback);
  }

  std::optional<int64_t> OptionalInteger(const char* key, int64_t min, int64_t max) {
    const toml::node* node = Node(key);
    if (node == nullptr) return std::nullopt;
    const auto* i = node->as_integer();
    if (i == nullptr) reader_.Fail(node->source(), Name(key) + " must be a whole number");
    if (i->get() < min || i->get() > max)
      reader_.Fail(node->source(), Name(key) + " = " + std::to_string(i->get()) + " is outside " + std::to_string(min) +
                                       " to " + std::to_string(max));
    return i->get();
  }
  int64_t Integer(const char* key, int64_t min, int64_t max) {
    if (!Has(key)) Missing(key);
    return *OptionalInteger(key, min, max);
  }

  std::optional<std::string> OptionalText(const char* key) {
    const toml::node* node = Node(key);
    if (node == nullptr) return std::nullopt;
    const auto* s = node->as_string();
    if (s == nullptr) reader_.Fail(node->source(), Name(key) + " must be a text in quotes");
    // A NUL would cut a file name or a folder name short where the text is used, not where it is read.
    if (s->get().find('\0') != std::string::npos) reader_.Fail(node->source(), Name(key) + " holds a NUL character");
    return s->get();
  }
  std::string Text(const char* key) {
    if (!Has(key)) Missing(key);
    return *OptionalText(key);
  }

  bool Flag(const char* key, bool fallback) {
    const toml::node* node = Node(key);
    if (node == nullptr) return fallback;
    const auto* b = node->as_boolean();
    if (b == nullptr) reader_.Fail(node->source(), Name(key) + " must be true or false");
    return b->get();
  }

  const toml::table* OptionalTable(const char* key) {
    const toml::node* node = Node(key);
    if (node == nullptr) return nullptr;
    if (!node->is_table()) reader_.Fail(node->source(), Name(key) + " must be a table ([" + Name(key) + "])");
    return node->as_table();
  }

  // An array of tables ([[key]]); empty when absent.
  std::vector<const toml::table*> Tables(const char* key) {
    std::vector<const toml::table*> tables;
    const toml::node* node = Node(key);
    if (node == nullptr) return tables;
    const auto* array = node->as_array();
    if (array == nullptr) reader_.Fail(node->source(), Name(key) + " must be written as [[" + Name(key) + "]] tables");
    for (const toml::node& element : *array) {
      if (!element.is_table()) reader_.Fail(element.source(), Name(key) + " entries must be tables");
      tables.push_back(element.as_table());
    }
    return tables;
  }

  [[noreturn]] void Missing(const char* key) const { reader_.Fail(Line(), "missing key " + Name(key)); }
  [[noreturn]] void Fail(const char* key, const std::string& reason) const {
    const toml::node* node = table_.get(key);
    if (node != nullptr) reader_.Fail(node->source(), reason);
    reader_.Fail(Line(), reason);
  }

  void Finish() const {
    for (auto&& [key, node] : table_) {
      if (taken_.count(std::string(key.str())) != 0) continue;
      const toml::source_region& at = key.source().begin.line != 0 ? key.source() : node.source();
      reader_.Fail(at, "unknown key " + Name(std::string(key.str()).c_str()));
    }
  }

 private:
  std::string Name(const char* key) const { return "'" + (where_.empty() ? "" : where_ + ".") + key + "'"; }

  const Reader& reader_;
  const toml::table& table_;
  std::string where_;
  std::set<std::string> taken_;
};

}  // namespace kvr::host::toml_fields
