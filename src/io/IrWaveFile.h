// Impulse responses as WAVE files for loaders: mono or stereo, 16 or 24-bit integer or 32-bit
// float, with the plainest header every loader reads.
#pragma once

#include <string>
#include <vector>

enum class TIrFormat { pcm16, pcm24, float32 };

// Bits per sample of `format`.
int irFormatBits(TIrFormat format);

// The whole file: "RIFF" "WAVE", a "fmt " chunk (WAVE_FORMAT_PCM, 16 bytes, for the integer
// formats; WAVE_FORMAT_IEEE_FLOAT, 18 bytes, and a "fact" chunk for float), then "data", with a pad
// byte after odd-sized data. `channels` (1 or 2, each the same number of samples) are interleaved;
// full scale is 1.0. Integer samples are v * 2^(bits-1) rounded to the nearest integer (halves away
// from zero), no dither, and held within the format's range; float samples are written as they are.
std::string irWaveBytes(const std::vector<std::vector<double>>& channels, int rate, TIrFormat format);
