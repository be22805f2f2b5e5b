// SPDX-License-Identifier: GPL-3.0-or-later
// Which files are media, for every front end: the names the Add Files
// dialog offers as supported, and what a probed file's content says. A
// file found in a folder is converted when its content is sound or a moving
// picture, whatever its name; a photo, a text or a subtitle file is not
// media. A file that cannot be read at all is still a failure when its name
// says it is media (a damaged clip), and "not media" otherwise.
#pragma once

#include <string>
#include <string_view>

namespace korvane {

class TAVProbe;

// The patterns of "All Supported Files" in the Add Files dialog, separated
// by ";" (some with a blank after it).
inline constexpr std::string_view SupportedFilePatternText =
    "*.avi;*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2;*.wma;*.wmv;*.asf;*.asx;*.mov; *.qt;*.3gp;*.3g2;*.mp3;*.mp2;*.ogg;"
    "*.aac;*.mp4;*.m4a;*.rm;*.rmvb;*.ram;*.ra;*.vob; *.dat;*.cda;*.dv; *.dif;*.wav; *.au; *.aiff;*.mjpg; "
    "*.mjpeg;*.ac3; *.gif; *.swf; "
    "*.flv;*.mkv;*.mka;*.webm;*.m4v;*.ts;*.m2ts;*.mts;*.ogv;*.oga;*.opus;*.flac;"
    "*.wv;*.amr;*.mxf";

// Whether Name ends in one of those extensions, in any letter case.
bool HasMediaExtension(std::string_view Name);

// What a file found in a folder is.
enum class TMediaKind { Media, NotMedia, Failed };

// Opens File with Probe (left open when it is media, so that its facts can
// be read) and says what it is; Reason says why it is not media or what
// failed. Media has a sound track or a moving picture: a still picture
// (a photo) or text alone is not media, nor is a file whose content no
// demuxer recognises, unless its name is a media file's (then it failed).
TMediaKind ProbeMediaKind(TAVProbe &Probe, const std::string &File, std::string &Reason);

}  // namespace korvane
