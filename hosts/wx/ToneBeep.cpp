#include "hosts/wx/ToneBeep.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>

#include <wx/log.h>
#include <wx/sound.h>
#include <wx/utils.h>

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(tag[i]));
    }
}

}  // namespace

std::vector<std::uint8_t> MakeToneWav(unsigned frequencyHz, unsigned durationMs,
                                      unsigned sampleRate) {
    const std::uint32_t samples =
        static_cast<std::uint32_t>(std::uint64_t{sampleRate} * durationMs / 1000);
    const std::uint32_t dataBytes = samples * 2;
    std::vector<std::uint8_t> wav;
    wav.reserve(44 + dataBytes);
    PutTag(wav, "RIFF");
    Put32(wav, 36 + dataBytes);
    PutTag(wav, "WAVE");
    PutTag(wav, "fmt ");
    Put32(wav, 16);
    Put16(wav, 1);  // PCM
    Put16(wav, 1);  // mono
    Put32(wav, sampleRate);
    Put32(wav, sampleRate * 2);
    Put16(wav, 2);
    Put16(wav, 16);
    PutTag(wav, "data");
    Put32(wav, dataBytes);
    const std::uint32_t fade = std::max<std::uint32_t>(1, std::min(samples / 2, sampleRate / 200));
    for (std::uint32_t i = 0; i < samples; ++i) {
        const double ramp = std::min(
            {1.0, static_cast<double>(i) / fade, static_cast<double>(samples - 1 - i) / fade});
        const double value =
            std::sin(2.0 * std::numbers::pi * frequencyHz * i / sampleRate) * ramp * 0.5;
        Put16(wav, static_cast<std::uint16_t>(static_cast<std::int16_t>(value * 32767)));
    }
    return wav;
}

bool SoundDevicePresent() {
    std::error_code error;
    if (std::filesystem::exists("/dev/dsp", error)) {
        return true;
    }
    for (const auto& entry : std::filesystem::directory_iterator("/dev/snd", error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("pcmC") && name.ends_with("p")) {
            return true;
        }
    }
    return false;
}

void PlayTone(unsigned frequencyHz, unsigned durationMs) {
    if (!SoundDevicePresent()) {
        wxBell();
        return;
    }
    // wxSound reports a busy or broken device through wxLog, which would open a message box.
    wxLogNull quiet;
    const std::vector<std::uint8_t> wav = MakeToneWav(frequencyHz, durationMs);
    wxSound sound;
    if (!sound.Create(wav.size(), wav.data()) || !sound.Play(wxSOUND_SYNC)) {
        wxBell();
    }
}
