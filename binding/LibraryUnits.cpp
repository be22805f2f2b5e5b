// SPDX-License-Identifier: GPL-3.0-or-later
// The seven binding units: their pointer variables, symbol tables, file names
// and per-unit Load / Unload / Loaded. Version majors come from the headers
// the engine is compiled against, so the file names always match them.
#include "LibAVCodec.h"
#include "LibAVFilter.h"
#include "LibAVFormat.h"
#include "LibAVUtil.h"
#include "LibSwResample.h"
#include "LibSwScale.h"
#include "MyUtil.h"

using korvane::TBindingUnit;
using korvane::TSymbol;

namespace LibAVCodec {
KORVANE_AVCODEC_FUNCTIONS(KORVANE_DEFINE_FUNCTION)
namespace {
const TSymbol Symbols[] = {KORVANE_AVCODEC_FUNCTIONS(KORVANE_SYMBOL_ROW)};
// The present library registers its codecs itself: nothing to call after binding.
TBindingUnit Unit("libavcodec", LIBAVCODEC_VERSION_MAJOR, Symbols);
}  // namespace
std::string FileName(bool UseVersionNumber) {
  return TBindingUnit::FileName("libavcodec", LIBAVCODEC_VERSION_MAJOR, UseVersionNumber);
}
bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber, bool DoRegister) {
  return Unit.Load(Error, Directory, UseVersionNumber, DoRegister);
}
void Unload() { Unit.Unload(); }
bool Loaded() { return Unit.Loaded(); }
}  // namespace LibAVCodec

namespace LibAVFormat {
KORVANE_AVFORMAT_FUNCTIONS(KORVANE_DEFINE_FUNCTION)
namespace {
const TSymbol Symbols[] = {KORVANE_AVFORMAT_FUNCTIONS(KORVANE_SYMBOL_ROW)};
// Formats register themselves too.
TBindingUnit Unit("libavformat", LIBAVFORMAT_VERSION_MAJOR, Symbols);
}  // namespace
std::string FileName(bool UseVersionNumber) {
  return TBindingUnit::FileName("libavformat", LIBAVFORMAT_VERSION_MAJOR, UseVersionNumber);
}
bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber, bool DoRegister) {
  return Unit.Load(Error, Directory, UseVersionNumber, DoRegister);
}
void Unload() { Unit.Unload(); }
bool Loaded() { return Unit.Loaded(); }
}  // namespace LibAVFormat

namespace LibAVUtil {
KORVANE_AVUTIL_FUNCTIONS(KORVANE_DEFINE_FUNCTION)
namespace {
const TSymbol Symbols[] = {KORVANE_AVUTIL_FUNCTIONS(KORVANE_SYMBOL_ROW)};
TBindingUnit Unit("libavutil", LIBAVUTIL_VERSION_MAJOR, Symbols);
}  // namespace
std::string FileName(bool UseVersionNumber) {
  return TBindingUnit::FileName("libavutil", LIBAVUTIL_VERSION_MAJOR, UseVersionNumber);
}
bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber) {
  return Unit.Load(Error, Directory, UseVersionNumber, false);
}
void Unload() { Unit.Unload(); }
bool Loaded() { return Unit.Loaded(); }
}  // namespace LibAVUtil

namespace LibSwScale {
KORVANE_SWSCALE_FUNCTIONS(KORVANE_DEFINE_FUNCTION)
namespace {
const TSymbol Symbols[] = {KORVANE_SWSCALE_FUNCTIONS(KORVANE_SYMBOL_ROW)};
TBindingUnit Unit("libswscale", LIBSWSCALE_VERSION_MAJOR, Symbols);
}  // namespace
std::string FileName(bool UseVersionNumber) {
  return TBindingUnit::FileName("libswscale", LIBSWSCALE_VERSION_MAJOR, UseVersionNumber);
}
bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber) {
  return Unit.Load(Error, Directory, UseVersionNumber, false);
}
void Unload() { Unit.Unload(); }
bool Loaded() { return Unit.Loaded(); }
}  // namespace LibSwScale

namespace LibSwResample {
KORVANE_SWRESAMPLE_FUNCTIONS(KORVANE_DEFINE_FUNCTION)
namespace {
const TSymbol Symbols[] = {KORVANE_SWRESAMPLE_FUNCTIONS(KORVANE_SYMBOL_ROW)};
TBindingUnit Unit("libswresample", LIBSWRESAMPLE_VERSION_MAJOR, Symbols);
}  // namespace
std::string FileName(bool UseVersionNumber) {
  return TBindingUnit::FileName("libswresample", LIBSWRESAMPLE_VERSION_MAJOR, UseVersionNumber);
}
bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber) {
  return Unit.Load(Error, Directory, UseVersionNumber, false);
}
void Unload() { Unit.Unload(); }
bool Loaded() { return Unit.Loaded(); }
}  // namespace LibSwResample

namespace LibAVFilter {
KORVANE_AVFILTER_FUNCTIONS(KORVANE_DEFINE_FUNCTION)
namespace {
const TSymbol Symbols[] = {KORVANE_AVFILTER_FUNCTIONS(KORVANE_SYMBOL_ROW)};
TBindingUnit Unit("libavfilter", LIBAVFILTER_VERSION_MAJOR, Symbols);
}  // namespace
std::string FileName(bool UseVersionNumber) {
  return TBindingUnit::FileName("libavfilter", LIBAVFILTER_VERSION_MAJOR, UseVersionNumber);
}
bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber) {
  return Unit.Load(Error, Directory, UseVersionNumber, false);
}
void Unload() { Unit.Unload(); }
bool Loaded() { return Unit.Loaded(); }
}  // namespace LibAVFilter

namespace MyUtil {
KORVANE_MYUTIL_FUNCTIONS(KORVANE_DEFINE_FUNCTION)
namespace {
const TSymbol Symbols[] = {KORVANE_MYUTIL_FUNCTIONS(KORVANE_SYMBOL_ROW)};
TBindingUnit Unit("libmyutil", -1, Symbols);
}  // namespace
std::string FileName() { return TBindingUnit::FileName("libmyutil", -1, false); }
bool Load(std::string &Error, const std::string &Directory) {
  return Unit.Load(Error, Directory, false, false);
}
void Unload() { Unit.Unload(); }
bool Loaded() { return Unit.Loaded(); }
}  // namespace MyUtil
