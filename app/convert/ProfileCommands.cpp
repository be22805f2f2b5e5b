// SPDX-License-Identifier: GPL-3.0-or-later
// --list-profiles and --show-profile: the catalogue and a profile's choices.
#include <cstdio>

#include "Commands.h"
#include "ModernSettings.h"
#include "ProfileCatalogue.h"
#include "ProfileChoice.h"

namespace korvane::convert {

int ListProfiles() {
  const auto Catalogue = OutputProfileCatalogue();
  for (size_t Row = 0; Row < Catalogue.size(); ++Row)
    std::printf("%zu\t%.*s\t%.*s\n", Row, static_cast<int>(Catalogue[Row].DisplayText.size()),
                Catalogue[Row].DisplayText.data(), static_cast<int>(Catalogue[Row].Extension.size()),
                Catalogue[Row].Extension.data());
  return 0;
}

int ShowProfile(const std::string &Profile) {
  TProfileForm Form = SelectProfile(Profile);
  std::printf("Profile: %s\nExtension: %s\n", Form.ComboOutputFormat.Text().c_str(),
              Form.OutputExtension.c_str());
  for (const TChoice &Choice : Choices()) {
    const TOptionCombo &Combo = Form.*(Choice.Combo);
    if (Combo.Items.empty()) {
      std::printf("%s: none\n", Choice.Option);
      continue;
    }
    std::printf("%s (default \"%s\"):\n", Choice.Option, Combo.Text().c_str());
    for (const std::string &Item : Combo.Items) std::printf("  %s\n", Item.c_str());
  }
  if (HdrChoiceShown(Form))
    std::printf("--hdr (default \"keep\", with a codec that keeps 10 bits):\n  keep\n  sdr\n");
  else
    std::printf("--hdr: none\n");
  return 0;
}

}  // namespace korvane::convert
