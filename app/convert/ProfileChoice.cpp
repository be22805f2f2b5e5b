// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileChoice.h"

#include "ModernSettings.h"
#include "ProfileCatalogue.h"
#include "RowSetup.h"

namespace korvane::convert {

const std::vector<TChoice> &Choices() {
  static const std::vector<TChoice> List = {
      {"--video-codec", &TProfileForm::ComboVideoCodec, &TCommandLine::VideoCodec},
      {"--size", &TProfileForm::ComboVideoSize, &TCommandLine::Size},
      {"--video-bitrate", &TProfileForm::ComboVideoBitrate, &TCommandLine::VideoBitrate},
      {"--framerate", &TProfileForm::ComboVideoFramerate, &TCommandLine::FrameRate},
      {"--audio-codec", &TProfileForm::ComboAudioCodec, &TCommandLine::AudioCodec},
      {"--audio-bitrate", &TProfileForm::ComboAudioBitrate, &TCommandLine::AudioBitrate},
      {"--channels", &TProfileForm::ComboAudioChannels, &TCommandLine::Channels},
      {"--sample-rate", &TProfileForm::ComboSamplingRate, &TCommandLine::SampleRate},
      {"--aspect", &TProfileForm::ComboAspectRatio, &TCommandLine::Aspect},
  };
  return List;
}

TProfileForm SelectProfile(const std::string &Profile) {
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  const auto Catalogue = OutputProfileCatalogue();
  int Row = -1;
  if (!Profile.empty() && Profile.size() < 4 && Profile.find_first_not_of("0123456789") == std::string::npos)
    Row = std::stoi(Profile);
  else
    for (size_t I = 0; I < Catalogue.size(); ++I)
      if (!Catalogue[I].IsSeparator() && Catalogue[I].DisplayText == Profile) Row = static_cast<int>(I);
  if (Row < 0 || Row >= static_cast<int>(Catalogue.size()) ||
      Catalogue[static_cast<size_t>(Row)].IsSeparator())
    throw EUsageError("'" + Profile + "' names no profile; see --list-profiles");
  Form.ComboOutputFormat.ItemIndex = Row;
  ChangeOutputFormat(Form);
  return Form;
}

namespace {

// A profile that copies the streams decodes nothing, so it cannot change
// the sound's volume or channels, nor the picture's shape: such a choice is
// refused before anything is converted, rather than failing every file or
// being ignored.
void RefuseWhatACopyCannotDo(const TCommandLine &Command, const TProfileForm &Form) {
  const TCatalogueRow *Profile = FindProfile(Form.ComboOutputFormat.Text());
  if (!Profile || Profile->Variant != TSettingsVariant::CopyAll) return;
  const auto Refuse = [&Form](const std::string &Option, const std::string &What) {
    throw EUsageError(Option + ": " + Form.ComboOutputFormat.Text() +
                      " copies the streams as they are and cannot " + What);
  };
  if (Command.Volume && *Command.Volume != DefaultVolumePosition) Refuse("--volume", "change the volume");
  if (!Command.Channels.empty() && Command.Channels != "Original")
    Refuse("--channels", "change the channels");
  if (!Command.Aspect.empty() && Command.Aspect != "Original")
    Refuse("--aspect", "change the picture's shape");
}

}  // namespace

void ApplyPicks(const TCommandLine &Command, TProfileForm &Form) {
  RefuseWhatACopyCannotDo(Command, Form);
  for (const TChoice &Choice : Choices()) {
    const std::string &Pick = Command.*(Choice.Pick);
    if (Pick.empty()) continue;
    TOptionCombo &Combo = Form.*(Choice.Combo);
    // The aspect list is picked by its short names.
    if (Choice.Combo == &TProfileForm::ComboAspectRatio) {
      const char *const Short[] = {"Original", "4:3", "16:9"};
      bool Found = false;
      for (int I = 0; I < 3; ++I)
        if (Pick == Short[I]) {
          Combo.ItemIndex = I;
          Found = true;
        }
      if (!Found)
        throw EUsageError(std::string("'") + Pick + "' is not an aspect; choose one of: Original, 4:3, 16:9");
      continue;
    }
    if (Combo.Items.empty())
      throw EUsageError(std::string(Choice.Option) + ": " + Form.ComboOutputFormat.Text() +
                        " offers no choice here");
    const int Before = Combo.ItemIndex;
    Combo.ItemIndex = -1;
    Combo.Select(Pick);
    if (Combo.ItemIndex < 0) {
      Combo.ItemIndex = Before;
      std::string Valid;
      for (const std::string &Item : Combo.Items) Valid += (Valid.empty() ? "" : ", ") + ("\"" + Item + "\"");
      throw EUsageError(std::string(Choice.Option) + ": '" + Pick + "' is not offered by " +
                        Form.ComboOutputFormat.Text() + "; choose one of: " + Valid);
    }
  }
  // The HDR choice, once the codec is chosen.
  if (!Command.Hdr.empty()) {
    if (!HdrChoiceOffered(Form))
      throw EUsageError("--hdr: " + Form.ComboOutputFormat.Text() +
                        (HdrChoiceShown(Form) ? " with " + Form.ComboVideoCodec.Text() : std::string()) +
                        " offers no choice here: its pictures are always 8-bit SDR");
    Form.HdrToSdr = Command.Hdr == "sdr";
  }
}

}  // namespace korvane::convert
