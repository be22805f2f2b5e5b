// SPDX-License-Identifier: GPL-3.0-or-later
// A plain model of the main window's output-format list and option combos,
// and the operations that fill them from the profile catalogue. The window
// binds its combos to this model: it copies items and selection out after
// each operation and writes the user's picks back into ItemIndex.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "OptionSet.h"

namespace korvane {

// A drop-down list from which the user can only pick an item.
struct TOptionCombo {
  std::vector<std::string> Items;
  int ItemIndex = -1;  // -1: nothing selected

  // The selected item's text; empty when nothing is selected.
  std::string Text() const;
  // Replaces the items and selects Selected (nothing when it is not among them).
  void Assign(const TItemList &NewItems, std::string_view Selected);
  // Selects the item that reads Item; a text that is not an item changes nothing.
  void Select(std::string_view Item);
};

// The output-format list, the option combos a profile sets, and the state
// the catalogue keeps for the main window.
struct TProfileForm {
  TProfileForm();

  TOptionCombo ComboOutputFormat;

  // List combos: refilled (or emptied) by every profile.
  TOptionCombo ComboVideoCodec;
  TOptionCombo ComboVideoSize;
  TOptionCombo ComboVideoBitrate;
  TOptionCombo ComboVideoFramerate;
  TOptionCombo ComboAudioCodec;
  TOptionCombo ComboAudioBitrate;
  TOptionCombo ComboSamplingRate;

  // Selection-only combos: "Stereo" and "Original" at start. The channel
  // items are "Stereo" and "Mono", and "Original" too for the profiles that
  // offer it; the aspect items never change.
  TOptionCombo ComboAudioChannels;
  TOptionCombo ComboAspectRatio;

  // Whether HDR pictures are converted to SDR where the profile's video
  // codec could keep them (see HdrChoiceOffered); false keeps HDR. Kept
  // from profile to profile.
  bool HdrToSdr = false;

  std::string OutputExtension;   // of the last applied profile; empty until one is applied
  int LastValidFormatIndex = 0;  // the last selected row that was not a separator row
};

// Empties ComboOutputFormat, adds the catalogue's 62 rows in order and
// selects row 0. The window sets the drop-down row count to Items.size().
void FillOutputFormatList(TOptionCombo &ComboOutputFormat);

// Puts an option set into the option combos.
void ApplyOptionSet(const TOptionSet &Set, TProfileForm &Form);

// Resolves the profile named by ComboOutputFormat's text, takes its output
// extension and applies its option set. A text that names no profile (a
// separator row, an empty selection) changes nothing.
void ApplyProfileOptions(TProfileForm &Form);

// The profile half of a change of the output-format selection. A separator
// row re-selects the last valid row and returns false with nothing else
// changed. Otherwise the profile's options are applied, the row becomes the
// last valid one, and the result is true: the window then shows the new
// output extension in every row of its file list.
bool ChangeOutputFormat(TProfileForm &Form);

}  // namespace korvane
