// SPDX-License-Identifier: GPL-3.0-or-later
// --list-profiles and --show-profile: the catalogue and a profile's choices.
#include <cstdio>

#include "BatchReport.h"
#include "Commands.h"
#include "JsonLine.h"
#include "ModernSettings.h"
#include "ProfileCatalogue.h"
#include "ProfileChoice.h"

namespace korvane::convert {

namespace {

void PrintLine(const std::string &Line) { std::fputs(Line.c_str(), stdout); }

}  // namespace

int ListProfiles(bool Json) {
  const auto Catalogue = OutputProfileCatalogue();
  for (size_t Row = 0; Row < Catalogue.size(); ++Row) {
    const std::string Name(Catalogue[Row].DisplayText), Extension(Catalogue[Row].Extension);
    if (!Json) {
      std::printf("%zu\t%s\t%s\n", Row, Name.c_str(), Extension.c_str());
    } else if (!Extension.empty()) {  // a separator row is no profile
      PrintLine(TJsonLine("profile")
                    .Integer("row", static_cast<int64_t>(Row))
                    .Text("name", Name)
                    .Text("extension", Extension)
                    .Line());
    }
  }
  if (Json) PrintLine(JsonSummaryLine({}, 0));
  return 0;
}

int ShowProfile(const std::string &Profile, bool Json) {
  TProfileForm Form = SelectProfile(Profile);
  if (Json)
    PrintLine(TJsonLine("profile")
                  .Text("name", Form.ComboOutputFormat.Text())
                  .Text("extension", Form.OutputExtension)
                  .Line());
  else
    std::printf("Profile: %s\nExtension: %s\n", Form.ComboOutputFormat.Text().c_str(),
                Form.OutputExtension.c_str());
  // Each choice: the option, its default and its items (none: nothing to choose).
  const auto Show = [Json](const char *Option, const std::string &Default,
                           const std::vector<std::string> &Items, const char *Said) {
    if (Json) {
      PrintLine(TJsonLine("choice")
                    .Text("option", Option)
                    .OptionalText("default", Items.empty() ? std::nullopt : std::optional(Default))
                    .TextList("items", Items)
                    .Line());
    } else if (Items.empty()) {
      std::printf("%s: none\n", Option);
    } else {
      std::printf("%s (default \"%s\"%s):\n", Option, Default.c_str(), Said);
      for (const std::string &Item : Items) std::printf("  %s\n", Item.c_str());
    }
  };
  for (const TChoice &Choice : Choices()) {
    const TOptionCombo &Combo = Form.*(Choice.Combo);
    Show(Choice.Option, Combo.Items.empty() ? "" : Combo.Text(), Combo.Items, "");
  }
  const bool Hdr = HdrChoiceShown(Form);
  Show("--hdr", "keep", Hdr ? std::vector<std::string>{"keep", "sdr"} : std::vector<std::string>{},
       ", with a codec that keeps 10 bits");
  if (Json) PrintLine(JsonSummaryLine({}, 0));
  return 0;
}

}  // namespace korvane::convert
