// SPDX-License-Identifier: GPL-3.0-or-later
#include "MediaMutations.h"

#include <stdexcept>

#include "TestEnvironment.h"

namespace korvane::test {

namespace {

std::string Content(const std::string &Source, size_t AtLeast) {
  std::string Data = ReadFile(Source);
  if (Data.size() < AtLeast) throw std::runtime_error(Source + " is shorter than the damage to do to it");
  return Data;
}

}  // namespace

void TruncatedCopy(const std::string &Source, size_t Bytes, const std::string &Target) {
  WriteFile(Target, Content(Source, Bytes).substr(0, Bytes));
}

void FlippedCopy(const std::string &Source, size_t Offset, size_t Count, const std::string &Target) {
  std::string Data = Content(Source, Offset + Count);
  for (size_t I = Offset; I < Offset + Count; ++I) Data[I] = static_cast<char>(~Data[I]);
  WriteFile(Target, Data);
}

void PatchedCopy(const std::string &Source, size_t Offset, const std::string &Bytes,
                 const std::string &Target) {
  std::string Data = Content(Source, Offset + Bytes.size());
  Data.replace(Offset, Bytes.size(), Bytes);
  WriteFile(Target, Data);
}

void ZeroedBoxCopy(const std::string &Source, const std::string &Type, const std::string &Target) {
  std::string Data = ReadFile(Source);
  for (size_t At = 0; At + 8 <= Data.size();) {
    uint64_t Size = 0;
    for (size_t I = 0; I < 4; ++I) Size = Size << 8 | static_cast<unsigned char>(Data[At + I]);
    if (Size < 8 || At + Size > Data.size()) break;
    if (Data.compare(At + 4, 4, Type) == 0) {
      Data.replace(At + 8, Size - 8, Size - 8, '\0');
      WriteFile(Target, Data);
      return;
    }
    At += Size;
  }
  throw std::runtime_error(Source + " has no box " + Type);
}

std::string LittleEndian(uint64_t Value, size_t Count) {
  std::string Bytes;
  for (size_t I = 0; I < Count; ++I) Bytes += static_cast<char>((Value >> (8 * I)) & 0xFF);
  return Bytes;
}

}  // namespace korvane::test
