// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConversionFixture.h"

namespace korvane::test {

bool TConversion::Logged(const std::string &Line) const {
  for (const std::string &L : Log)
    if (L == Line) return true;
  return false;
}

TConfigure Lines(const std::string &Input, const std::string &Output) {
  return [Input, Output](TInputOptions &I, TOutputOptions &O) {
    I.ExtOptions = Input;
    O.ExtOptions = Output;
  };
}

TConversion Convert(const std::string &Input, const std::string &Output, const TConfigure &Configure,
                    const TPrepare &Prepare) {
  TConversion Result;
  TFFmpeg Task;
  Task.PrepareOptions();
  Task.FOnLog = [&Result](TCustomFFmpeg &, int, const std::string &Text) { Result.Log.push_back(Text); };
  TInputOptions In;
  TOutputOptions OutOptions;
  In.FileName = Input;
  OutOptions.FileName = Output;
  if (Configure) Configure(In, OutOptions);
  try {
    Task.ApplyInputOptions(In);
    Result.InputOpened = Task.OpenInputFile(Input);
    if (Result.InputOpened) {
      Task.ApplyOutputOptions(OutOptions);
      Result.OutputOpened = Task.OpenOutputFile(Output);
    }
    if (!Result.InputOpened || !Result.OutputOpened) {
      Result.Error = Task.State().FErrorText;
    } else {
      if (Prepare) Prepare(Task, Result);
      Task.Transcode();
      Result.Ran = true;
    }
  } catch (const std::exception &E) {
    Result.Error = E.what();
  }
  Result.Finished = Task.FFinished;
  Result.Shortfall = Task.FShortfallText;
  Result.FramesDup = Task.State().FFramesDup;
  Result.FramesDrop = Task.State().FFramesDrop;
  Result.VideoSize = Task.State().FVideoSize;
  Result.AudioSize = Task.State().FAudioSize;
  Task.ClearOptions();
  return Result;
}

}  // namespace korvane::test
