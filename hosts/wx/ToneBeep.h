#pragma once

// The beep: a sine tone of the asked frequency and length where the machine can play sound, the
// desktop's bell where it cannot. It never fails and never waits for a sound device that is
// missing; with a device it plays to the end before returning, as Beep does on Windows, so that
// two beeps in a row are heard as two tones.
//
// Threading rules: UI thread only.

#include <cstdint>
#include <vector>

// A mono 16-bit PCM WAV file of `durationMs` of a sine at `frequencyHz`, with short fades so
// that the tone starts and stops without a click.
std::vector<std::uint8_t> MakeToneWav(unsigned frequencyHz, unsigned durationMs,
                                      unsigned sampleRate = 22050);

// Whether this machine has a device that plays sound (ALSA or OSS).
bool SoundDevicePresent();

void PlayTone(unsigned frequencyHz, unsigned durationMs);
