#include "OpenDialogFilter.h"

#include <string_view>

namespace korvane {

namespace {

struct TFilterPair {
  std::string_view Description;
  std::string_view Patterns;  // separated by ";", some with a blank after it
};

constexpr TFilterPair kFilterPairs[] = {
    {"All Supported Files",
     "*.avi;*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2;*.wma;*.wmv;*.asf;*.asx;*.mov; *.qt;*.3gp;*.3g2;*.mp3;*.mp2;*.ogg;"
     "*.aac;*.mp4;*.m4a;*.rm;*.rmvb;*.ram;*.ra;*.vob; *.dat;*.cda;*.dv; *.dif;*.wav; *.au; *.aiff;*.mjpg; "
     "*.mjpeg;*.ac3; *.gif; *.swf; *.flv"},
    {"3GPP Files (*.3gp)", "*.3gp"},
    {"3GPP2 Files (*.3g2)", "*.3g2"},
    {"AAC Files (*.aac)", "*.aac"},
    {"AC3 Files (*.ac3)", "*.ac3"},
    {"Audio CD Files (*.cda)", "*.cda"},
    {"AVI Files (*.avi)", "*.avi"},
    {"DV Video Files (*.dv, *.dif)", "*.dv;*.dif"},
    {"DVD VOB Files (*.vob)", "*.vob"},
    {"GIF Animated Files (*.gif)", "*.gif"},
    {"Macromedia Flash Files (*.flv, *.swf)", "*.flv; *.swf"},
    {"Monkey Audio Files (*.ape, *.cue)", "*.ape;*.cue"},
    {"MJpeg Video Files (*.mjpg, *.mjpeg)", "*.mjpg; *.mjpeg"},
    {"MP2 Files (*.mp2)", "*.mp2"},
    {"MP3 Files (*.mp3)", "*.mp3"},
    {"MPEG Files (*.mpeg, *.mpg, *.mpa, *.m1v, *.mv2)", "*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2"},
    {"MPEG-4 Files (*.mp4)", "*.mp4"},
    {"MPEG-4 Audio Files (*.m4a, *.mp4)", "*.m4a; *.mp4"},
    {"Ogg Vorbis Files (*.ogg)", "*.ogg"},
    {"RealMedia Files (*.rm, *.rmvb, *.ram, *.ra)", "*.rm; *.rmvb; *.ram; *.ra"},
    {"QuickTime Files (*.mov, *.qt)", "*.mov; *.qt"},
    {"VCD DAT Files (*.dat)", "*.dat"},
    {"WAV Files (*.wav, *.au, *.aiff)", "*.wav; *.au; *.aiff"},
    {"Windows Media Files(*.wma, *.wmv, *.asf, *.asx)", "*.wma;*.wmv;*.asf;*.asx"},
};

}  // namespace

QStringList OpenDialogNameFilters() {
  QStringList Filters;
  for (const TFilterPair &Pair : kFilterPairs) {
    QStringList Patterns;
    for (const QString &Pattern : QString::fromUtf8(Pair.Patterns.data(), Pair.Patterns.size()).split(';'))
      if (!Pattern.trimmed().isEmpty()) Patterns << Pattern.trimmed();
    Filters << QString::fromUtf8(Pair.Description.data(), Pair.Description.size()) + " (" +
                   Patterns.join(' ') + ")";
  }
  return Filters;
}

}  // namespace korvane
