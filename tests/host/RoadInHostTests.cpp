// The block road heard through the built bundles, as a DAW drives them: odd block lengths, the
// host's bypass, latency, Depth 0 flatness, tail, and what the audio thread may not do.

#include "PluginHost.h"

#include <support/AllocationCounter.h>
#include <support/LockCounter.h>

#include <juce_dsp/juce_dsp.h>

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

namespace
{
constexpr int maxBlock = 512;
constexpr double toneDb = -12.0;

std::unique_ptr<juce::AudioPluginInstance> load (const std::string& format, double rate)
{
    juce::String error;
    auto plugin = host::loadPlugin (format, LUMBRANE_VST3_BINARY, LUMBRANE_LV2_BINARY, LUMBRANE_LV2_URI, rate, maxBlock, error);
    EXPECT_TRUE (error.isEmpty()) << error;
    if (plugin != nullptr && ! host::prepareStereo (*plugin, rate, maxBlock))
        return nullptr;
    return plugin;
}

double toDb (double ratio) { return 20.0 * std::log10 (std::max (ratio, 1e-12)); }

/** Peak, in dB relative to the tone's amplitude, of what lies above 6 kHz after `skip` samples:
    clicks, and whatever of the road is not a clean 1 kHz. An eighth-order high-pass takes the
    tone down by well over 100 dB, so only the residual is left. */
double residualAbove6k (const std::vector<float>& y, double rate, std::size_t skip)
{
    auto sections = juce::dsp::FilterDesign<float>::designIIRHighpassHighOrderButterworthMethod (6000.0f, rate, 8);
    std::vector<float> z (y);
    for (auto& coefficients : sections)
    {
        juce::dsp::IIR::Filter<float> filter (coefficients);
        for (auto& s : z)
            s = filter.processSample (s);
    }
    float peak = 0.0f;
    for (std::size_t i = skip; i < z.size(); ++i)
        peak = std::max (peak, std::abs (z[i]));
    return toDb (peak / std::pow (10.0, toneDb / 20.0));
}

double rms (const std::vector<float>& x, std::size_t from, std::size_t to)
{
    double sum = 0.0;
    for (auto i = from; i < to; ++i)
        sum += (double) x[i] * x[i];
    return std::sqrt (sum / (double) (to - from));
}

juce::AudioProcessorParameter* hostBypass (juce::AudioPluginInstance& plugin)
{
    if (auto* p = plugin.getBypassParameter())
        return p;
    return host::findParameter (plugin, "Bypass");
}

class RoadInHost : public ::testing::TestWithParam<std::string>
{
};
} // namespace

TEST_P (RoadInHost, RandomBlockLengthsDoNotClick)
{
    constexpr double rate = 48000.0;
    const auto tone = host::sine (1000.0, toneDb, rate, (std::size_t) (1.5 * rate));
    const auto skip = (std::size_t) (0.3 * rate);

    auto fixedPlugin = load (GetParam(), rate);
    auto randomPlugin = load (GetParam(), rate);
    ASSERT_NE (fixedPlugin, nullptr);
    ASSERT_NE (randomPlugin, nullptr);

    std::mt19937 random (11);
    const auto fixed = host::play (*fixedPlugin, tone, maxBlock);
    const auto varied = host::play (*randomPlugin, tone, maxBlock, [&] (std::size_t)
    {
        return random() % 4 == 0 ? 1 + (int) (random() % maxBlock) : maxBlock;
    });

    const auto fixedResidual = residualAbove6k (fixed, rate, skip);
    const auto variedResidual = residualAbove6k (varied, rate, skip);
    EXPECT_LT (variedResidual, fixedResidual + 6.0) << "fixed-length run: " << fixedResidual << " dB";
    EXPECT_LT (variedResidual, -50.0);
}

TEST_P (RoadInHost, BypassIsTheHostsOwnAndSwitchesWithoutClicks)
{
    constexpr double rate = 48000.0;
    auto plugin = load (GetParam(), rate);
    ASSERT_NE (plugin, nullptr);

    // One bypass only: the host's bypass must be the plug-in's own "Bypass".
    auto* hosts = plugin->getBypassParameter();
    EXPECT_NE (hosts, nullptr);
    if (hosts != nullptr)
        EXPECT_EQ (hosts->getName (100), "Bypass");
    int bypasses = 0;
    for (auto* p : plugin->getParameters())
        bypasses += p->getName (100).containsIgnoreCase ("bypass") ? 1 : 0;
    EXPECT_EQ (bypasses, 1);

    auto* bypass = hostBypass (*plugin);
    const auto tone = host::sine (1000.0, toneDb, rate, (std::size_t) (1.6 * rate));
    const auto switchEvery = (std::size_t) (0.15 * rate) / maxBlock * maxBlock;
    const auto y = host::play (*plugin, tone, maxBlock, {}, [&] (std::size_t done)
    {
        if (done >= (std::size_t) (0.3 * rate) && done % switchEvery == 0)
            bypass->setValueNotifyingHost (bypass->getValue() < 0.5f ? 1.0f : 0.0f);
    });
    EXPECT_LT (residualAbove6k (y, rate, (std::size_t) (0.25 * rate)), -40.0);
}

TEST_P (RoadInHost, ImpulseDelayIsTheReportedLatencyAndDepthZeroIsFlatAtEveryRate)
{
    for (const double rate : { 44100.0, 48000.0, 96000.0, 192000.0 })
    {
        SCOPED_TRACE (rate);
        auto plugin = load (GetParam(), rate);
        ASSERT_NE (plugin, nullptr);
        const int latency = plugin->getLatencySamples();

        const auto at = (std::size_t) (0.1 * rate);
        std::vector<float> impulse ((std::size_t) (0.2 * rate), 0.0f);
        impulse[at] = 0.5f;
        const auto y = host::play (*plugin, impulse, maxBlock);
        std::size_t peak = at;
        for (auto i = at; i < y.size(); ++i)
            peak = std::abs (y[i]) > std::abs (y[peak]) ? i : peak;
        EXPECT_NEAR ((double) (peak - at), (double) latency, 1.0);

        for (const double frequency : { 100.0, 1000.0, 5000.0 })
        {
            // 0.2 s holds whole cycles of each tone at every rate.
            const auto x = host::sine (frequency, -18.0, rate, (std::size_t) (0.35 * rate));
            const auto out = host::play (*plugin, x, maxBlock);
            const auto from = (std::size_t) (0.15 * rate), to = (std::size_t) (0.35 * rate);
            EXPECT_NEAR (toDb (rms (out, from, to) / rms (x, from, to)), 0.0, 0.3) << frequency << " Hz";
        }
    }
}

TEST_P (RoadInHost, AudioThreadNeitherAllocatesNorLocks)
{
    ASSERT_TRUE (AllocationCounter::isAvailable());
    constexpr double rate = 48000.0;
    auto plugin = load (GetParam(), rate);
    ASSERT_NE (plugin, nullptr);
    auto* depth = host::findParameter (*plugin, "Depth");
    auto* bypass = hostBypass (*plugin);
    ASSERT_NE (depth, nullptr);

    juce::MemoryBlock stateA, stateB;
    plugin->getStateInformation (stateA);
    depth->setValueNotifyingHost (0.8f);
    plugin->getStateInformation (stateB);
    depth->setValueNotifyingHost (0.5f);

    juce::AudioBuffer<float> buffer (2, maxBlock);
    juce::MidiBuffer midi;
    std::mt19937 random (5);
    const auto tone = host::sine (440.0, toneDb, rate, maxBlock);

    // Each block in its own counters. JUCE's plug-in wrappers take the processor's callback lock
    // once per block, uncontended unless the host prepares at the same time: that one is allowed.
    const auto run = [&] (const char* what, int blocks, const std::function<int (int)>& before)
    {
        std::size_t allocations = 0, mostLocks = 0;
        for (int b = 0; b < blocks; ++b)
        {
            const int n = before (b);
            buffer.setSize (2, n, false, false, true);
            for (int c = 0; c < 2; ++c)
                buffer.copyFrom (c, 0, tone.data(), n);
            AllocationCounter allocated;
            LockCounter locked;
            plugin->processBlock (buffer, midi);
            allocations += allocated.count();
            mostLocks = std::max (mostLocks, locked.count());
        }
        EXPECT_EQ (allocations, 0u) << what;
        EXPECT_LE (mostLocks, 1u) << what;
    };

    run ("steady blocks", 20, [] (int) { return maxBlock; });
    run ("first control change", 3, [&] (int b) { if (b == 0) depth->setValueNotifyingHost (0.7f); return maxBlock; });
    run ("later control changes", 12, [&] (int b) { depth->setValueNotifyingHost (0.3f + 0.03f * (float) b); return maxBlock; });
    run ("changing block lengths", 40, [&] (int) { return 1 + (int) (random() % maxBlock); });
    if (bypass != nullptr)
        run ("bypass transitions", 24, [&] (int b) { if (b % 3 == 0) bypass->setValueNotifyingHost (b % 6 == 0 ? 1.0f : 0.0f); return maxBlock; });

    // Hosts restore state from their message thread (JUCE's VST3 host insists on it), which here
    // is the test's own, so the blocks run on a thread of their own meanwhile.
    std::atomic<bool> done { false };
    std::thread audio ([&]
    {
        run ("state restored while audio runs", 60, [] (int) { return maxBlock; });
        done = true;
    });
    for (int i = 0; ! done; ++i)
    {
        const auto& state = i % 2 == 0 ? stateA : stateB;
        plugin->setStateInformation (state.getData(), (int) state.getSize());
        std::this_thread::sleep_for (std::chrono::milliseconds (3));
    }
    audio.join();
}

TEST_P (RoadInHost, OutputDecaysWithinTheReportedTail)
{
    constexpr double rate = 48000.0;
    auto plugin = load (GetParam(), rate);
    ASSERT_NE (plugin, nullptr);
    const double tail = plugin->getTailLengthSeconds();
    EXPECT_GT (tail, 0.0);

    const auto burstEnd = (std::size_t) (0.2 * rate);
    auto x = host::sine (1000.0, 0.0, rate, burstEnd + (std::size_t) ((std::min (tail, 10.0) + 0.3) * rate));
    std::fill (x.begin() + (std::ptrdiff_t) burstEnd, x.end(), 0.0f);
    const auto y = host::play (*plugin, x, maxBlock);

    const auto from = burstEnd + (std::size_t) (tail * rate);
    float after = 0.0f;
    for (auto i = std::min (from, y.size() - 1); i < y.size(); ++i)
        after = std::max (after, std::abs (y[i]));
    auto lastLoud = burstEnd;
    for (auto i = burstEnd; i < y.size(); ++i)
        lastLoud = std::abs (y[i]) > 3.1623e-5f ? i : lastLoud;
    EXPECT_LT (toDb (after), -90.0) << "the output stays above -90 dBFS for " << (double) (lastLoud - burstEnd) / rate
                                    << " s after the burst";
}

INSTANTIATE_TEST_SUITE_P (Formats, RoadInHost, ::testing::Values ("VST3", "LV2"),
                          [] (const auto& info) { return info.param; });
