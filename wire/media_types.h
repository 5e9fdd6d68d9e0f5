#pragma once

// Which files the library takes: the media extension list the player hands
// to the proxy and the test the player (dropped files, File > Open) and the
// service (uploads, renames) both apply, so a name one end accepts the other
// never refuses.

#include <array>
#include <string>
#include <string_view>

namespace velmora::wire {

inline constexpr std::array<std::string_view, 34> kMediaExtensions = {
    "mp3", "wma", "avi", "mpeg",   "wmv",  "midi", "au",  "aiff", "asf", "m4a", "jpg", "jpeg",
    "wmd", "wm",  "snd", "aif",    "aifc", "aiff", "mpg", "m1v",  "mp2", "mpa", "mpe", "ifo",
    "vob", "mi",  "mid", "dvr-ms", "asx",  "wax",  "m3u", "wpl",  "wvx", "wmx"};

// The list as the proxy takes it: the extensions joined by "~".
std::string MediaExtensionList();

// True when the lower-cased name contains "." followed by one of the
// extensions anywhere, not only at its end: "a.midi" passes through "mi",
// and so does "x.mp3.bak".
bool IsMediaFileName(std::string_view name);

} // namespace velmora::wire
