// SPDX-License-Identifier: GPL-3.0-or-later
#include "BindingUnit.h"

#include <dlfcn.h>

#include "TextFormat.h"

namespace korvane {

namespace {

// dlerror() is the system's message for the last dynamic-loading failure; it
// is consumed by reading, so take it once per failure.
std::string SystemMessage() {
  const char *Text = dlerror();
  return Text ? Text : "unknown error";
}

}  // namespace

void TBindingUnit::TModuleCloser::operator()(void *Handle) const { dlclose(Handle); }

TBindingUnit::TBindingUnit(const char *BaseName, int VersionMajor, std::span<const TSymbol> Symbols,
                           void (*RegisterFunction)())
    : FBaseName(BaseName),
      FVersionMajor(VersionMajor),
      FSymbols(Symbols),
      FRegisterFunction(RegisterFunction) {}

std::string TBindingUnit::FileName(const char *BaseName, int VersionMajor, bool UseVersionNumber) {
  std::string Name = std::string(BaseName) + ".so";
  if (UseVersionNumber && VersionMajor >= 0) Name += "." + std::to_string(VersionMajor);
  return Name;
}

std::string TBindingUnit::FileName() const { return FileName(FBaseName, FVersionMajor, FUseVersionNumber); }

bool TBindingUnit::Load(std::string &Error, const std::string &Directory, bool UseVersionNumber,
                        bool DoRegister) {
  FUseVersionNumber = UseVersionNumber;
  const std::string Name = FileName();

  if (!FModule) {
    const std::string Path = Directory.empty() ? Name : Directory + "/" + Name;
    dlerror();
    // RTLD_NODELETE: releasing the handle after a failed load must not unmap
    // the library. Codec libraries and their dependencies keep state in their
    // globals that does not survive being unmapped and mapped again.
    FModule.reset(dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!FModule) FLastError = Format("Load libraray %s error: %s", Name.c_str(), SystemMessage().c_str());
  }

  if (FModule && !FBound) {
    bool AllBound = true;
    for (const TSymbol &Symbol : FSymbols) {
      dlerror();
      void *Address = dlsym(FModule.get(), Symbol.Name);
      if (!Address) {
        FLastError =
            Format("Load function %s@%s error: %s", Symbol.Name, Name.c_str(), SystemMessage().c_str());
        AllBound = false;
        break;
      }
      *Symbol.Pointer = Address;
    }
    if (AllBound) {
      if (DoRegister && FRegisterFunction) FRegisterFunction();
      FBound = true;
    } else {
      // A unit is usable only whole: never leave half of its pointers set.
      ClearPointers();
    }
  }

  if (!FBound) Error = FLastError;
  return FBound;
}

void TBindingUnit::ClearPointers() {
  for (const TSymbol &Symbol : FSymbols) *Symbol.Pointer = nullptr;
}

void TBindingUnit::Unload() {
  ClearPointers();
  FBound = false;
  FModule.reset();
}

}  // namespace korvane
