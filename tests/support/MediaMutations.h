// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged copies of media files, made at test time the way a hostile user
// would damage them: cut short, bytes flipped, header fields overwritten.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane::test {

// The first Bytes bytes of Source, written to Target.
void TruncatedCopy(const std::string &Source, size_t Bytes, const std::string &Target);
// Source with Count bytes from Offset inverted, written to Target.
void FlippedCopy(const std::string &Source, size_t Offset, size_t Count, const std::string &Target);
// Source with Bytes written over it at Offset, written to Target.
void PatchedCopy(const std::string &Source, size_t Offset, const std::string &Bytes,
                 const std::string &Target);
// Source with the content of its first top-level MP4 box of Type ("mdat")
// zeroed, written to Target.
void ZeroedBoxCopy(const std::string &Source, const std::string &Type, const std::string &Target);
// Value as Count bytes, lowest first (a RIFF header field).
std::string LittleEndian(uint64_t Value, size_t Count);

}  // namespace korvane::test
