// SPDX-License-Identifier: GPL-3.0-or-later
// A binding unit: one shared library opened at run time and the table of
// functions resolved from it into pointer variables.
#pragma once

#include <memory>
#include <span>
#include <string>

namespace korvane {

// One row of a unit's symbol table: the pointer variable to fill and the
// exported name it is filled from. Rows are resolved in table order.
struct TSymbol {
  void **Pointer;
  const char *Name;
};

class TBindingUnit {
 public:
  // VersionMajor < 0 means the file name never carries a version number.
  // RegisterFunction, when given, runs once after every symbol is bound and
  // the caller asked for registration.
  TBindingUnit(const char *BaseName, int VersionMajor, std::span<const TSymbol> Symbols,
               void (*RegisterFunction)() = nullptr);
  // Libraries stay loaded until the process ends: closing them while the
  // process shuts down would pull code from under late callers.
  ~TBindingUnit() { (void)FModule.release(); }
  TBindingUnit(const TBindingUnit &) = delete;
  TBindingUnit &operator=(const TBindingUnit &) = delete;

  // File name as the unit opens it, chosen by the use-version-number flag of
  // the last Load: "libavcodec.so.59" or "libavcodec.so".
  std::string FileName() const;
  static std::string FileName(const char *BaseName, int VersionMajor, bool UseVersionNumber);

  // Opens the library (by full path inside Directory when one is given) and
  // binds every symbol. On failure the unit's text is copied into Error.
  bool Load(std::string &Error, const std::string &Directory, bool UseVersionNumber, bool DoRegister);
  // Closes the library and clears the handle, every pointer and the bound flag.
  void Unload();
  bool Loaded() const { return FBound; }
  bool HasModule() const { return FModule != nullptr; }
  const std::string &LastError() const { return FLastError; }

 private:
  struct TModuleCloser {
    void operator()(void *Handle) const;
  };
  using TModule = std::unique_ptr<void, TModuleCloser>;

  void ClearPointers();

  const char *FBaseName;
  int FVersionMajor;
  std::span<const TSymbol> FSymbols;
  void (*FRegisterFunction)();
  TModule FModule;
  bool FBound = false;
  bool FUseVersionNumber = true;
  std::string FLastError;
};

}  // namespace korvane

// Helpers for the per-library units. Each unit lists its functions once, as
// an X-macro, and these turn the list into pointer declarations named exactly
// as exported, their definitions, and the unit's symbol table.
#define KORVANE_DECLARE_FUNCTION(Name) extern decltype(&::Name) Name;
#define KORVANE_DEFINE_FUNCTION(Name) decltype(&::Name) Name = nullptr;
#define KORVANE_SYMBOL_ROW(Name) ::korvane::TSymbol{reinterpret_cast<void **>(&Name), #Name},
