// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the user guide: the template with its profile table filled in from
// the profile catalogue. Usage: korvane-helpgen TEMPLATE OUTPUT
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "ProfileCatalogue.h"

namespace {

using namespace korvane;

std::string Escaped(std::string_view Text) {
  std::string Out;
  for (char C : Text) {
    switch (C) {
      case '&': Out += "&amp;"; break;
      case '<': Out += "&lt;"; break;
      case '>': Out += "&gt;"; break;
      default: Out += C;
    }
  }
  return Out;
}

// The items of a choice with the profile's default in bold; a dash for an
// emptied combo.
std::string ChoiceCell(const TListChoice &Choice) {
  if (Choice.Emptied()) return "&ndash;";
  std::string Cell;
  for (std::string_view Item : Choice.Items) {
    if (!Cell.empty()) Cell += ", ";
    Cell += Item == Choice.Default ? "<b>" + Escaped(Item) + "</b>" : Escaped(Item);
  }
  return Cell;
}

std::string DefaultCell(const TListChoice &Choice) {
  return Choice.Emptied() ? "&ndash;" : Escaped(Choice.Default);
}

std::string ProfileTable() {
  std::ostringstream Table;
  Table << "<table>\n<tr><th>Output format</th><th>File</th><th>Video codec</th><th>Video size</th>"
           "<th>Video bit rate</th><th>Frame rate</th><th>Audio codec</th><th>Audio bit rate</th>"
           "<th>Sampling rate</th></tr>\n";
  for (const TCatalogueRow &Row : OutputProfileCatalogue()) {
    if (Row.IsSeparator()) {
      Table << "<tr class=\"group\"><td colspan=\"9\">" << Escaped(Row.Heading) << "</td></tr>\n";
      continue;
    }
    const TOptionSet &Set = *Row.Options;
    Table << "<tr><td>" << Escaped(Row.DisplayText) << "</td><td>." << Escaped(Row.Extension) << "</td><td>"
          << ChoiceCell(Set.VideoCodec) << "</td><td>" << DefaultCell(Set.VideoSize) << "</td><td>"
          << DefaultCell(Set.VideoBitrate) << "</td><td>" << DefaultCell(Set.VideoFramerate) << "</td><td>"
          << ChoiceCell(Set.AudioCodec) << "</td><td>" << DefaultCell(Set.AudioBitrate) << "</td><td>"
          << DefaultCell(Set.SamplingRate) << "</td></tr>\n";
  }
  Table << "</table>";
  return Table.str();
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fputs("usage: korvane-helpgen TEMPLATE OUTPUT\n", stderr);
    return 2;
  }
  std::ifstream In(argv[1]);
  if (!In) {
    std::fprintf(stderr, "korvane-helpgen: cannot read %s\n", argv[1]);
    return 1;
  }
  std::stringstream Buffer;
  Buffer << In.rdbuf();
  std::string Page = Buffer.str();
  static constexpr std::string_view Marker = "@PROFILE_TABLE@";
  const size_t At = Page.find(Marker);
  if (At == std::string::npos) {
    std::fputs("korvane-helpgen: the template has no @PROFILE_TABLE@\n", stderr);
    return 1;
  }
  Page.replace(At, Marker.size(), ProfileTable());
  std::ofstream Out(argv[2], std::ios::trunc);
  Out << Page;
  if (!Out) {
    std::fprintf(stderr, "korvane-helpgen: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
