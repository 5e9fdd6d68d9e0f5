#pragma once

// Tiny uncompressed sound files written from scratch: a sine tone as Sun
// .au and as AIFF, 16-bit mono big-endian PCM.

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace velmora::test {

inline std::vector<std::int16_t> SineTone(double seconds, std::uint32_t rate, double hz = 440.0) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::int16_t> samples(frames);
    for (std::size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<std::int16_t>(
            12000.0 * std::sin(2.0 * 3.14159265358979 * hz * static_cast<double>(i) / rate));
    return samples;
}

inline void PutBigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void PutSamples(std::string& out, const std::vector<std::int16_t>& samples) {
    for (std::int16_t s : samples)
        PutBigEndian(out, static_cast<std::uint16_t>(s), 2);
}

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

// Sun audio: ".snd", data offset, data size, encoding 3 (16-bit linear),
// rate, channels.
inline bool WriteAuTone(const std::string& path, double seconds, std::uint32_t rate = 22050) {
    const auto samples = SineTone(seconds, rate);
    std::string out = ".snd";
    PutBigEndian(out, 24, 4);
    PutBigEndian(out, samples.size() * 2, 4);
    PutBigEndian(out, 3, 4);
    PutBigEndian(out, rate, 4);
    PutBigEndian(out, 1, 4);
    PutSamples(out, samples);
    return WriteBytes(path, out);
}

// The sample rate in the 80-bit extended format AIFF uses.
inline void PutExtended(std::string& out, std::uint32_t rate) {
    int exponent = 0;
    while ((std::uint64_t{1} << (exponent + 1)) <= rate)
        ++exponent;
    PutBigEndian(out, 16383 + exponent, 2);
    PutBigEndian(out, std::uint64_t{rate} << (63 - exponent), 8);
}

inline bool WriteAiffTone(const std::string& path, double seconds, std::uint32_t rate = 22050) {
    const auto samples = SineTone(seconds, rate);
    std::string comm = "COMM";
    PutBigEndian(comm, 18, 4);
    PutBigEndian(comm, 1, 2);              // channels
    PutBigEndian(comm, samples.size(), 4); // frames
    PutBigEndian(comm, 16, 2);             // bits per sample
    PutExtended(comm, rate);
    std::string ssnd = "SSND";
    PutBigEndian(ssnd, 8 + samples.size() * 2, 4);
    PutBigEndian(ssnd, 0, 4); // offset
    PutBigEndian(ssnd, 0, 4); // block size
    PutSamples(ssnd, samples);
    std::string out = "FORM";
    PutBigEndian(out, 4 + comm.size() + ssnd.size(), 4);
    out += "AIFF" + comm + ssnd;
    return WriteBytes(path, out);
}

} // namespace velmora::test
