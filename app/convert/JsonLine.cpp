// SPDX-License-Identifier: GPL-3.0-or-later
#include "JsonLine.h"

#include <cmath>
#include <cstdio>

namespace korvane::convert {

namespace {

// The length of the valid UTF-8 sequence at Text[At], or 0 when the byte
// there does not start one (overlong forms, surrogates and values past
// U+10FFFF are not valid).
size_t SequenceLength(std::string_view Text, size_t At) {
  const auto Byte = [&](size_t I) { return static_cast<unsigned char>(Text[I]); };
  const unsigned char Lead = Byte(At);
  size_t Length;
  uint32_t Value;
  if (Lead < 0x80) return 1;
  if (Lead >= 0xC2 && Lead <= 0xDF) {
    Length = 2, Value = Lead & 0x1F;
  } else if (Lead >= 0xE0 && Lead <= 0xEF) {
    Length = 3, Value = Lead & 0x0F;
  } else if (Lead >= 0xF0 && Lead <= 0xF4) {
    Length = 4, Value = Lead & 0x07;
  } else {
    return 0;
  }
  if (At + Length > Text.size()) return 0;
  for (size_t I = 1; I < Length; ++I) {
    if ((Byte(At + I) & 0xC0) != 0x80) return 0;
    Value = Value << 6 | (Byte(At + I) & 0x3F);
  }
  const uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (Value < Least[Length] || Value > 0x10FFFF || (Value >= 0xD800 && Value <= 0xDFFF)) return 0;
  return Length;
}

}  // namespace

std::string JsonString(std::string_view Value) {
  std::string Out = "\"";
  char Escape[8];
  for (size_t I = 0; I < Value.size();) {
    const unsigned char C = static_cast<unsigned char>(Value[I]);
    const size_t Length = SequenceLength(Value, I);
    if (Length == 0) {
      std::snprintf(Escape, sizeof Escape, "\\udc%02x", C);
      Out += Escape;
      ++I;
      continue;
    }
    if (C == '"' || C == '\\') {
      Out += '\\';
      Out += static_cast<char>(C);
    } else if (C == '\n') {
      Out += "\\n";
    } else if (C == '\t') {
      Out += "\\t";
    } else if (C == '\r') {
      Out += "\\r";
    } else if (C < 0x20 || C == 0x7F) {
      std::snprintf(Escape, sizeof Escape, "\\u%04x", C);
      Out += Escape;
    } else {
      Out.append(Value.substr(I, Length));
    }
    I += Length;
  }
  return Out + "\"";
}

TJsonLine::TJsonLine(std::string_view Event) : FText("{\"event\":" + JsonString(Event)) {}

void TJsonLine::Key(std::string_view Name) { FText += "," + JsonString(Name) + ":"; }

TJsonLine &TJsonLine::Text(std::string_view Name, std::string_view Value) {
  Key(Name);
  FText += JsonString(Value);
  return *this;
}

TJsonLine &TJsonLine::OptionalText(std::string_view Name, const std::optional<std::string> &Value) {
  Key(Name);
  FText += Value ? JsonString(*Value) : "null";
  return *this;
}

TJsonLine &TJsonLine::Integer(std::string_view Name, int64_t Value) {
  Key(Name);
  FText += std::to_string(Value);
  return *this;
}

TJsonLine &TJsonLine::Boolean(std::string_view Name, bool Value) {
  Key(Name);
  FText += Value ? "true" : "false";
  return *this;
}

TJsonLine &TJsonLine::TextList(std::string_view Name, const std::vector<std::string> &Values) {
  Key(Name);
  FText += "[";
  for (size_t I = 0; I < Values.size(); ++I) FText += (I ? "," : "") + JsonString(Values[I]);
  FText += "]";
  return *this;
}

TJsonLine &TJsonLine::Number(std::string_view Name, std::optional<double> Value, int Decimals) {
  Key(Name);
  if (!Value || !std::isfinite(*Value)) {
    FText += "null";
    return *this;
  }
  char Text[64];
  std::snprintf(Text, sizeof Text, "%.*f", Decimals, *Value);
  FText += Text;
  return *this;
}

}  // namespace korvane::convert
