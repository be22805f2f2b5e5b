// SPDX-License-Identifier: GPL-3.0-or-later
// One event of korvane-convert --json: a JSON object on one line. Texts are
// file names and messages, which on Linux are bytes rather than Unicode:
// valid UTF-8 is written as it is, and each byte that is not part of valid
// UTF-8 as the lone surrogate U+DC00 + the byte ("\udcff"), the form
// Python reads back into the same bytes (os.fsencode), so that a name is
// never lost or changed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::convert {

class TJsonLine {
 public:
  // {"event":Event
  explicit TJsonLine(std::string_view Event);
  TJsonLine &Text(std::string_view Name, std::string_view Value);
  // null when there is no value.
  TJsonLine &OptionalText(std::string_view Name, const std::optional<std::string> &Value);
  TJsonLine &Integer(std::string_view Name, int64_t Value);
  TJsonLine &Boolean(std::string_view Name, bool Value);
  // An array of texts.
  TJsonLine &TextList(std::string_view Name, const std::vector<std::string> &Values);
  // A number with up to Decimals decimals; null when absent.
  TJsonLine &Number(std::string_view Name, std::optional<double> Value, int Decimals = 2);
  // The object, closed, with its line feed.
  std::string Line() const { return FText + "}\n"; }

 private:
  void Key(std::string_view Name);
  std::string FText;
};

// Value as a JSON string, quotes included.
std::string JsonString(std::string_view Value);

}  // namespace korvane::convert
