#include "media.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::server {

namespace {

void Put32(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v >> 24);
    out += static_cast<char>(v >> 16);
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

void Put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

std::string Samples(double frequency, double seconds, int sampleRate) {
    auto count = static_cast<std::uint32_t>(seconds * sampleRate);
    std::string out;
    out.reserve(count * 2);
    const double pi = 3.14159265358979323846;
    for (std::uint32_t i = 0; i < count; ++i) {
        // A short fade at both ends keeps the tone from clicking.
        double fade = std::min({1.0, i / (0.01 * sampleRate), (count - i) / (0.01 * sampleRate)});
        double value = 0.4 * fade * std::sin(2 * pi * frequency * i / sampleRate);
        auto sample = static_cast<std::int16_t>(std::lround(value * 32767));
        Put16(out, static_cast<std::uint16_t>(sample));
    }
    return out;
}

// The 80-bit IEEE extended number AIFF uses for the sample rate.
void PutExtended(std::string& out, double value) {
    int exponent = 0;
    double mantissa = std::frexp(value, &exponent); // value = mantissa * 2^exponent, 0.5 <= m < 1
    auto bits = static_cast<std::uint64_t>(std::ldexp(mantissa, 64));
    Put16(out, static_cast<std::uint16_t>(16383 + exponent - 1));
    Put32(out, static_cast<std::uint32_t>(bits >> 32));
    Put32(out, static_cast<std::uint32_t>(bits));
}

} // namespace

std::string MakeAuTone(double frequency, double seconds, int sampleRate) {
    std::string data = Samples(frequency, seconds, sampleRate);
    std::string out = ".snd";
    Put32(out, 24);                                      // header size
    Put32(out, static_cast<std::uint32_t>(data.size())); // data size
    Put32(out, 3);                                       // 16-bit linear PCM
    Put32(out, static_cast<std::uint32_t>(sampleRate));
    Put32(out, 1); // channels
    return out + data;
}

std::string MakeAiffTone(double frequency, double seconds, int sampleRate) {
    std::string data = Samples(frequency, seconds, sampleRate);
    std::string comm = "COMM";
    Put32(comm, 18);
    Put16(comm, 1);                                           // channels
    Put32(comm, static_cast<std::uint32_t>(data.size() / 2)); // sample frames
    Put16(comm, 16);                                          // bits per sample
    PutExtended(comm, sampleRate);
    std::string ssnd = "SSND";
    Put32(ssnd, static_cast<std::uint32_t>(8 + data.size()));
    Put32(ssnd, 0); // offset
    Put32(ssnd, 0); // block size
    ssnd += data;
    std::string out = "FORM";
    Put32(out, static_cast<std::uint32_t>(4 + comm.size() + ssnd.size()));
    out += "AIFF";
    return out + comm + ssnd;
}

std::optional<std::string> MakeMp3Tone(double frequency, double seconds, int sampleRate) {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/velmora-mp3-XXXXXX";
    if (!::mkdtemp(pattern))
        return std::nullopt;
    const fs::path dir = pattern;
    const fs::path wav = dir / "tone.wav";
    const fs::path mp3 = dir / "tone.mp3";
    std::optional<std::string> result;
    {
        // A WAV file: little-endian 16-bit mono PCM.
        std::string data = Samples(frequency, seconds, sampleRate);
        for (std::size_t i = 0; i + 1 < data.size(); i += 2)
            std::swap(data[i], data[i + 1]);
        auto le32 = [](std::string& out, std::uint32_t v) {
            for (int k = 0; k < 4; ++k)
                out += static_cast<char>(v >> (8 * k));
        };
        auto le16 = [](std::string& out, std::uint16_t v) {
            out += static_cast<char>(v);
            out += static_cast<char>(v >> 8);
        };
        std::string header = "RIFF";
        le32(header, static_cast<std::uint32_t>(36 + data.size()));
        header += "WAVEfmt ";
        le32(header, 16);
        le16(header, 1); // PCM
        le16(header, 1); // mono
        le32(header, static_cast<std::uint32_t>(sampleRate));
        le32(header, static_cast<std::uint32_t>(sampleRate * 2));
        le16(header, 2);
        le16(header, 16);
        header += "data";
        le32(header, static_cast<std::uint32_t>(data.size()));
        std::ofstream(wav, std::ios::binary) << header << data;
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        ::execlp("lame", "lame", "--quiet", wav.c_str(), mp3.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
        WEXITSTATUS(status) == 0) {
        std::ifstream in(mp3, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!bytes.empty())
            result = std::move(bytes);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return result;
}

} // namespace velmora::server
