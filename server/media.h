#pragma once

// Small playable sound files made in memory: a sine tone as Sun/NeXT .au
// and as AIFF, 16-bit big-endian mono PCM.

#include <optional>
#include <string>

namespace velmora::server {

std::string MakeAuTone(double frequency, double seconds, int sampleRate = 22050);
std::string MakeAiffTone(double frequency, double seconds, int sampleRate = 22050);

// The tone as MP3, encoded by the lame program; nothing when lame is not
// installed or fails.
std::optional<std::string> MakeMp3Tone(double frequency, double seconds, int sampleRate = 22050);

} // namespace velmora::server
