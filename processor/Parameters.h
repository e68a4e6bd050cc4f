#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

/** The seven host-automatable parameters. Each ID is also the parameter's display name. */
namespace ParameterIDs
{
inline constexpr const char* inputGain = "Input Gain";
inline constexpr const char* outputGain = "Output Gain";
inline constexpr const char* depth = "Depth";
inline constexpr const char* depthEq = "Depth EQ";
inline constexpr const char* depthEqSwitch = "Depth EQ Switch";
inline constexpr const char* ioLinkSwitch = "IO Link Switch";
inline constexpr const char* bypass = "Bypass";
} // namespace ParameterIDs

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

/** What the hyper-network is given for a raw "Depth" value: -1 to 1. */
inline float depthControlFrom (float depth) noexcept { return depth / 15.0f; }

/** What the hyper-network is given for "Depth EQ": 0.2 to 0.8 while its switch is on, else 0. */
inline float depthEqControlFrom (float depthEq, float depthEqSwitch) noexcept
{
    return static_cast<double> (depthEqSwitch) > 0.00001 ? depthEq / 5.0f : 0.0f;
}

/** A raw "Bypass" value bypasses from this threshold up. */
inline bool isBypassed (float bypass) noexcept { return static_cast<double> (bypass) >= 0.00001; }

/** A host can send NaN for any parameter; the audio road then keeps the value it had. */
inline float finiteOr (float value, float fallback) noexcept { return std::isfinite (value) ? value : fallback; }

/** dB to linear gain, in single precision as the block road applies it. */
inline float gainFromDecibels (float dB) noexcept { return std::pow (10.0f, dB / 20.0f); }
