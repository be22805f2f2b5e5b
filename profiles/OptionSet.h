// SPDX-License-Identifier: GPL-3.0-or-later
// What an output profile puts into the main window's option combos: for each
// list combo the items it offers and the one it selects, or nothing at all;
// for the two selection-only combos the item to select, or no change.
//
// Everything here is a compile-time constant, so the option sets can be
// written as tables with their lists inline, and a default that is not among
// its list's items stops the build.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

namespace korvane {

// An ordered list of item texts as a combo shows them. The capacity fits the
// longest list any profile offers (the general size list).
class TItemList {
 public:
  static constexpr size_t kCapacity = 23;

  constexpr TItemList() = default;
  constexpr TItemList(std::initializer_list<std::string_view> Items) {
    for (std::string_view Item : Items) Append(Item);
  }

  // The items of this list followed by those of Tail.
  constexpr TItemList operator+(const TItemList &Tail) const {
    TItemList Joined = *this;
    for (std::string_view Item : Tail) Joined.Append(Item);
    return Joined;
  }

  constexpr size_t size() const { return FCount; }
  constexpr bool empty() const { return FCount == 0; }
  constexpr const std::string_view *begin() const { return FItems.data(); }
  constexpr const std::string_view *end() const { return FItems.data() + FCount; }
  constexpr std::string_view operator[](size_t Index) const { return FItems[Index]; }

  // Position of Item, or -1.
  constexpr int IndexOf(std::string_view Item) const {
    for (size_t I = 0; I < FCount; ++I)
      if (FItems[I] == Item) return static_cast<int>(I);
    return -1;
  }

 private:
  constexpr void Append(std::string_view Item) {
    if (FCount == kCapacity) throw std::length_error("item list longer than TItemList::kCapacity");
    FItems[FCount++] = Item;
  }

  std::array<std::string_view, kCapacity> FItems{};
  size_t FCount = 0;
};

// One list combo's content under a profile: the items and the selected one.
// Default-constructed it is an emptied combo: no items, no selection.
struct TListChoice {
  TItemList Items;
  std::string_view Default;

  constexpr TListChoice() = default;
  constexpr TListChoice(const TItemList &AItems, std::string_view ADefault)
      : Items(AItems), Default(ADefault) {
    if (Items.IndexOf(Default) < 0) throw std::invalid_argument("default item is not in its list");
  }

  constexpr bool Emptied() const { return Items.empty(); }
};

// A list combo left with no items; its text reads empty.
inline constexpr TListChoice kEmptied{};
// A selection-only combo that keeps whatever the user or the previous
// profile selected.
inline constexpr std::string_view kUnchanged{};

struct TOptionSet {
  TListChoice VideoCodec;
  TListChoice VideoSize;
  TListChoice VideoBitrate;
  TListChoice VideoFramerate;
  TListChoice AudioCodec;
  TListChoice AudioBitrate;
  TListChoice SamplingRate;
  std::string_view AudioChannels;  // an item of the channel items, or kUnchanged
  std::string_view AspectRatio;    // an item of kAspectRatioItems, or kUnchanged
  // The items of the channel combo; none: "Stereo" and "Mono".
  const TItemList *ChannelItems = nullptr;
};

}  // namespace korvane
