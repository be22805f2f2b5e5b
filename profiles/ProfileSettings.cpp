// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileSettings.h"

#include <cmath>
#include <cstdint>
#include <span>
#include <utility>

#include "ModernSettings.h"
#include "ProfileCatalogue.h"
#include "TextConvert.h"

namespace korvane {

namespace {

using enum TSettingsVariant;

// How an audio bit-rate item reads.
enum class TAudioBitrateUnit {
  ByUnitText,  // "128 Kbps" is 128000, "12200 bps" is 12200
  AsWritten,   // the number alone
  Kilobits,    // the number times 1000, whatever the unit says
};

// Where the channel count comes from.
enum class TChannelRule {
  FromCombo,  // 2 for "Stereo", else 1; 3GP and 3G2 output always 1
  Mono,       // always 1
};

struct TVariantRule {
  TSettingsVariant Variant;
  std::string_view FixedAudioCodec;  // empty: the combo's codec, mapped to an encoder
  TAudioBitrateUnit AudioBitrate;
  TChannelRule Channels;
  bool AudioOnlyExtensionsDropVideo;
};

// What sets the three settings steps apart. 3GP and 3G2 always encode AMR
// mono, whatever the combos show; the iPod family always encodes AAC, with
// the channels the combo shows (their players take no surround sound).
// clang-format off
constexpr TVariantRule kVariantRules[] = {
    // variant   fixed audio codec  audio bit rate                 channels                  no video for audio-only extensions
    {Shared,     "",                TAudioBitrateUnit::ByUnitText, TChannelRule::FromCombo, true},
    {MobileAmr,  "libamr_nb",       TAudioBitrateUnit::AsWritten,  TChannelRule::Mono,      false},
    {FixedAac,   "libfaac",         TAudioBitrateUnit::Kilobits,   TChannelRule::FromCombo, false},
};
// clang-format on

using TNameMap = std::pair<std::string_view, std::string_view>;

// Lower-cased codec items whose encoder has another name; every other item
// names its encoder itself ("mpeg4", "wmv2", "mp2", "ac3", ...).
constexpr TNameMap kVideoEncoders[] = {
    {"h264", "libx264"},
    {"xvid", "libxvid"},
};
constexpr TNameMap kAudioEncoders[] = {
    {"aac", "libfaac"},
    {"mpeg4aac", "libfaac"},
    {"mp3", "libmp3lame"},
    {"amr_nb", "libamr_nb"},
};

// Output extensions (lower-cased) written without a video stream. ASF is
// among them although its profile offers video choices.
constexpr std::string_view kAudioOnlyExtensions[] = {"aac", "asf", "au",  "m4a", "mp2",
                                                     "mp3", "ra",  "wav", "wma"};

// Output extensions whose container carries one audio channel only.
constexpr std::string_view kMonoExtensions[] = {"3GP", "3G2"};

// Size items that stand for the source's own size. "Auto" is the Archos
// lists' first item; passed on as a size it would fail the row.
constexpr std::string_view kSourceSizeItems[] = {"Original Video Size", "Auto"};

// The NTSC-family rates the lists show rounded, and the exact rate each
// stands for.
constexpr TNameMap kNtscFrameRates[] = {
    {"14.985", "15000/1001"}, {"23.975", "24000/1001"}, {"23.976", "24000/1001"},
    {"29.97", "30000/1001"},  {"59.94", "60000/1001"},
};

template <typename Range>
bool Contains(const Range &Items, std::string_view Item) {
  for (std::string_view Each : Items)
    if (Each == Item) return true;
  return false;
}

std::string MapName(std::span<const TNameMap> Map, const std::string &Name) {
  for (const auto &[From, To] : Map)
    if (From == Name) return std::string(To);
  return Name;
}

std::string LowerCase(std::string_view Text) {
  std::string Lower(Text);
  for (char &C : Lower)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return Lower;
}

// The text up to, not including, its first blank: "384  Kbps" gives "384".
std::string LeadingNumber(std::string_view Text) { return std::string(Text.substr(0, Text.find(' '))); }

int32_t ReadThousands(std::string_view Text) { return StrToInt(LeadingNumber(Text) + "000"); }

int32_t ReadAudioBitrate(std::string_view Text, TAudioBitrateUnit Unit) {
  switch (Unit) {
    case TAudioBitrateUnit::ByUnitText:
      return Text.find("Kbps") != std::string_view::npos ? ReadThousands(Text)
                                                         : StrToInt(LeadingNumber(Text));
    case TAudioBitrateUnit::AsWritten: return StrToInt(LeadingNumber(Text));
    case TAudioBitrateUnit::Kilobits: return ReadThousands(Text);
  }
  return 0;
}

const TVariantRule &RuleOf(TSettingsVariant Variant) {
  for (const TVariantRule &Rule : kVariantRules)
    if (Rule.Variant == Variant) return Rule;
  return kVariantRules[0];
}

}  // namespace

std::string ParseFrameSizeText(std::string_view SizeItem) {
  std::string Size(SizeItem.substr(0, SizeItem.find('(')));
  std::erase(Size, ' ');
  return Size;
}

std::string ParseFrameRateText(std::string_view FrameRateItem) {
  if (FrameRateItem.empty() || FrameRateItem == "Auto") return {};
  const std::string Figure = LeadingNumber(FrameRateItem);
  for (const auto &[Rounded, Exact] : kNtscFrameRates)
    if (Figure == Rounded) return std::string(Exact);
  const double Rate = StrToFloat(Figure);
  if (Rate == std::floor(Rate) && std::abs(Rate) < 1e6) return std::to_string(static_cast<int64_t>(Rate));
  return Figure;
}

void ApplyProfileSettings(const TProfileForm &Form, TOutputOptions &Options) {
  const TCatalogueRow *Profile = FindProfile(Form.ComboOutputFormat.Text());
  if (!Profile) return;
  if (IsModernVariant(Profile->Variant)) return ApplyModernSettings(*Profile, Form, Options);
  const TVariantRule &Rule = RuleOf(Profile->Variant);

  // Every number is read before anything is written, so a text that does not
  // read leaves the record as the caller prepared it. An emptied video
  // bit-rate combo reads "000", that is 0, which the engine ignores.
  const int32_t VideoBitrate = ReadThousands(Form.ComboVideoBitrate.Text());
  const int32_t AudioBitrate = ReadAudioBitrate(Form.ComboAudioBitrate.Text(), Rule.AudioBitrate);
  const int32_t SampleRate = StrToInt(LeadingNumber(Form.ComboSamplingRate.Text()));
  const std::string FrameRate = ParseFrameRateText(Form.ComboVideoFramerate.Text());

  Options.VideoCodec = MapName(kVideoEncoders, LowerCase(Form.ComboVideoCodec.Text()));
  Options.AudioCodec = Rule.FixedAudioCodec.empty()
                           ? MapName(kAudioEncoders, LowerCase(Form.ComboAudioCodec.Text()))
                           : std::string(Rule.FixedAudioCodec);

  const std::string SizeItem = Form.ComboVideoSize.Text();
  Options.FrameSize = Contains(kSourceSizeItems, SizeItem) ? std::string() : ParseFrameSizeText(SizeItem);
  if (!FrameRate.empty()) Options.FrameRate = FrameRate;

  Options.VideoBitrate = VideoBitrate;
  Options.AudioBitrate = AudioBitrate;
  Options.AudioSampleRate = SampleRate;

  switch (Rule.Channels) {
    case TChannelRule::FromCombo:
      Options.AudioChannels = Form.ComboAudioChannels.Text() == "Stereo" ? 2 : 1;
      if (Contains(kMonoExtensions, Profile->Extension)) Options.AudioChannels = 1;
      break;
    case TChannelRule::Mono: Options.AudioChannels = 1; break;
  }

  if (Rule.AudioOnlyExtensionsDropVideo && Contains(kAudioOnlyExtensions, LowerCase(Profile->Extension)))
    Options.VideoDisable = true;
  // Their players take 8-bit SDR pictures: HDR is tone-mapped for them.
  if (!Options.VideoDisable) Options.ExtOptions = "hdr=sdr\n";
}

}  // namespace korvane
