// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileOptions.h"

#include <utility>

#include "ItemLists.h"
#include "ProfileCatalogue.h"

namespace korvane {

std::string TOptionCombo::Text() const {
  if (ItemIndex < 0 || ItemIndex >= static_cast<int>(Items.size())) return {};
  return Items[ItemIndex];
}

void TOptionCombo::Assign(const TItemList &NewItems, std::string_view Selected) {
  Items.assign(NewItems.begin(), NewItems.end());
  ItemIndex = NewItems.IndexOf(Selected);
}

void TOptionCombo::Select(std::string_view Item) {
  for (size_t I = 0; I < Items.size(); ++I)
    if (Items[I] == Item) {
      ItemIndex = static_cast<int>(I);
      return;
    }
}

TProfileForm::TProfileForm() {
  ComboAudioChannels.Assign(kAudioChannelItems, "Stereo");
  ComboAspectRatio.Assign(kAspectRatioItems, "Original");
}

void FillOutputFormatList(TOptionCombo &ComboOutputFormat) {
  ComboOutputFormat.Items.clear();
  for (const TCatalogueRow &Row : OutputProfileCatalogue())
    ComboOutputFormat.Items.emplace_back(Row.DisplayText);
  ComboOutputFormat.ItemIndex = 0;
}

void ApplyOptionSet(const TOptionSet &Set, TProfileForm &Form) {
  // An emptied choice has no items and no default, so Assign empties the combo.
  const std::pair<const TListChoice &, TOptionCombo &> ListCombos[] = {
      {Set.VideoCodec, Form.ComboVideoCodec},     {Set.VideoSize, Form.ComboVideoSize},
      {Set.VideoBitrate, Form.ComboVideoBitrate}, {Set.VideoFramerate, Form.ComboVideoFramerate},
      {Set.AudioCodec, Form.ComboAudioCodec},     {Set.AudioBitrate, Form.ComboAudioBitrate},
      {Set.SamplingRate, Form.ComboSamplingRate},
  };
  for (const auto &[Choice, Combo] : ListCombos) Combo.Assign(Choice.Items, Choice.Default);

  // The channel items follow the profile; a pick it still offers stays, one
  // it does not becomes the first item.
  const TItemList &Channels = Set.ChannelItems ? *Set.ChannelItems : kAudioChannelItems;
  const std::string Picked = Form.ComboAudioChannels.Text();
  Form.ComboAudioChannels.Assign(Channels,
                                 Picked.empty() || Channels.IndexOf(Picked) >= 0 ? Picked : Channels[0]);
  if (Set.AudioChannels != kUnchanged) Form.ComboAudioChannels.Select(Set.AudioChannels);
  if (Set.AspectRatio != kUnchanged) Form.ComboAspectRatio.Select(Set.AspectRatio);
}

void ApplyProfileOptions(TProfileForm &Form) {
  const TCatalogueRow *Profile = FindProfile(Form.ComboOutputFormat.Text());
  if (!Profile) return;
  Form.OutputExtension = Profile->Extension;
  ApplyOptionSet(*Profile->Options, Form);
}

bool ChangeOutputFormat(TProfileForm &Form) {
  if (IsSeparatorText(Form.ComboOutputFormat.Text())) {
    Form.ComboOutputFormat.ItemIndex = Form.LastValidFormatIndex;
    return false;
  }
  ApplyProfileOptions(Form);
  Form.LastValidFormatIndex = Form.ComboOutputFormat.ItemIndex;
  return true;
}

}  // namespace korvane
