// The block road heard through the built bundles, as a DAW drives them: odd block lengths, the
// host's bypass, latency, Depth 0 flatness, tail, and what the audio thread may not do.

#include "PluginHost.h"

#include <support/AllocationCounter.h>
#include <support/LockCounter.h>

#include <juce_dsp/juce_dsp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <complex>
#include <random>
#include <thread>

#include <execinfo.h>
#include <link.h>

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

/** Amplitude of the component at `frequency` over [from, to), which must hold whole cycles. */
double amplitudeAt (const std::vector<float>& x, double frequency, double rate, std::size_t from, std::size_t to)
{
    std::complex<double> sum;
    for (auto i = from; i < to; ++i)
        sum += (double) x[i] * std::polar (1.0, -2.0 * juce::MathConstants<double>::pi * frequency * (double) i / rate);
    return 2.0 * std::abs (sum) / (double) (to - from);
}

juce::AudioProcessorParameter* hostBypass (juce::AudioPluginInstance& plugin)
{
    if (auto* p = plugin.getBypassParameter())
        return p;
    return host::findParameter (plugin, "Bypass");
}

// JUCE's own plug-in wrappers and hosting classes take uncontended locks (the callback lock, MIDI
// lists, parameter listeners) and the VST3 wrapper allocates a little in every block: none of it
// is the plug-in's to change. So the counters count only what is called, however deeply, from the
// plug-in's own code: a frame on the call stack inside one of the binary's functions that are
// neither JUCE's, the VST3 SDK's nor the standard library's.
struct CodeRange
{
    std::uintptr_t begin, end;
    juce::String name;
};
std::vector<CodeRange> ownCode;   // sorted by begin

bool calledFromOwnCode() noexcept
{
    static thread_local bool busy = false;   // the unwinder itself may lock or allocate
    if (busy)
        return false;
    busy = true;
    void* frames[128];
    const int depth = backtrace (frames, 128);
    bool inside = false;
    for (int i = 1; i < depth && ! inside; ++i)
    {
        // A return address lies just past its call, so a call that ends a function still counts.
        const auto address = (std::uintptr_t) frames[i] - 1;
        auto after = std::upper_bound (ownCode.begin(), ownCode.end(), address,
                                       [] (std::uintptr_t a, const CodeRange& r) { return a < r.begin; });
        inside = after != ownCode.begin() && address < std::prev (after)->end;
    }
    busy = false;
    return inside;
}

/** The plug-in's own functions in the loaded binary, from its symbol table. */
std::vector<CodeRange> findOwnCode (const juce::String& binary)
{
    struct Search
    {
        juce::String path;
        std::uintptr_t base = 0;
        bool found = false;
    } search { juce::File (binary).getLinkedTarget().getFullPathName() };

    dl_iterate_phdr ([] (dl_phdr_info* info, std::size_t, void* data)
    {
        auto& s = *static_cast<Search*> (data);
        if (info->dlpi_name != nullptr && juce::File::isAbsolutePath (info->dlpi_name)
            && juce::File (info->dlpi_name).getLinkedTarget().getFullPathName() == s.path)
        {
            s.base = info->dlpi_addr;
            s.found = true;
        }
        return 0;
    }, &search);

    std::vector<CodeRange> ranges;
    juce::ChildProcess nm;
    if (! search.found || ! nm.start (juce::StringArray { "nm", "-C", "-S", "--defined-only", search.path }))
        return ranges;

    for (const auto& line : juce::StringArray::fromLines (nm.readAllProcessOutput()))
    {
        // address size type name
        auto fields = juce::StringArray::fromTokens (line.upToFirstOccurrenceOf ("(", false, false), " ", {});
        if (fields.size() < 4 || ! juce::String ("tTwW").containsChar (fields[2][0]))
            continue;
        const auto name = line.fromFirstOccurrenceOf (fields[2] + " ", false, false);
        // C functions (the bundled libraries) are not mangled, so carry no argument list.
        if (! name.contains ("("))
            continue;
        // The qualified name follows the return type that templates carry, and any "thunk to".
        const auto signature = name.upToFirstOccurrenceOf ("(", false, false);
        int start = 0;
        for (int i = 0, depth = 0; i < signature.length(); ++i)
        {
            depth += signature[i] == '<' ? 1 : (signature[i] == '>' ? -1 : 0);
            if (signature[i] == ' ' && depth == 0 && ! signature.substring (0, i).endsWith ("operator"))
                start = i + 1;
        }
        const auto qualified = signature.substring (start);
        if (qualified.startsWith ("juce::") || qualified.startsWith ("std::") || qualified.startsWith ("__gnu_cxx::")
            || qualified.startsWith ("Steinberg::") || qualified.startsWith ("VST3::") || qualified.startsWith ("operator"))
            continue;
        const auto begin = search.base + (std::uintptr_t) fields[0].getHexValue64();
        ranges.push_back ({ begin, begin + (std::uintptr_t) fields[1].getHexValue64(), name });
    }
    std::sort (ranges.begin(), ranges.end(), [] (const auto& a, const auto& b) { return a.begin < b.begin; });
    return ranges;
}

class RoadInHost : public ::testing::TestWithParam<std::string>
{
};
} // namespace

TEST_P (RoadInHost, RandomBlockLengthsDoNotClick)
{
    constexpr double rate = 48000.0;
    const auto tone = host::sine (1000.0, toneDb, rate, 140 * maxBlock);
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
    // Below -100 dB the two runs differ only in rounding.
    EXPECT_LT (variedResidual, std::max (fixedResidual, -100.0) + 6.0) << "fixed-length run: " << fixedResidual << " dB";
    EXPECT_LT (variedResidual, -50.0) << "fixed-length run: " << fixedResidual << " dB";
}

TEST_P (RoadInHost, BypassIsTheHostsOwnAndSwitchesWithoutClicks)
{
    constexpr double rate = 48000.0;
    auto plugin = load (GetParam(), rate);
    ASSERT_NE (plugin, nullptr);

    // One bypass only: the host's bypass must be the plug-in's own "Bypass". An LV2 bundle made by
    // JUCE always carries the lv2:enabled port beside the parameters, which JUCE's LV2 host shows
    // as a second "Bypass"; its client drives the plug-in's bypass parameter from that port.
    auto* hosts = plugin->getBypassParameter();
    EXPECT_NE (hosts, nullptr);
    if (hosts != nullptr)
        EXPECT_EQ (hosts->getName (100), "Bypass");
    int bypasses = 0;
    for (auto* p : plugin->getParameters())
        bypasses += p->getName (100).containsIgnoreCase ("bypass") ? 1 : 0;
    EXPECT_EQ (bypasses, GetParam() == "LV2" ? 2 : 1);

    auto* bypass = hostBypass (*plugin);
    const auto tone = host::sine (1000.0, toneDb, rate, 150 * maxBlock);
    const auto switchEvery = (std::size_t) (0.15 * rate) / maxBlock * maxBlock;
    const auto y = host::play (*plugin, tone, maxBlock, {}, [&] (std::size_t done)
    {
        if (done >= (std::size_t) (0.3 * rate) && done % switchEvery == 0)
            bypass->setValueNotifyingHost (bypass->getValue() < 0.5f ? 1.0f : 0.0f);
    });
    EXPECT_LT (residualAbove6k (y, rate, (std::size_t) (0.25 * rate)), -40.0);

    // The window's own Bypass works in every format, also where the host's bypass is another
    // control: the output becomes the input, delayed by the reported latency.
    bypass->setValueNotifyingHost (0.0f);
    auto* ours = bypass;
    for (auto* p : plugin->getParameters())
        if (p != hosts && p->getName (100) == "Bypass")
            ours = p;
    ours->setValueNotifyingHost (1.0f);
    const auto dry = host::play (*plugin, tone, maxBlock);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
    const auto latency = (std::size_t) plugin->getLatencySamples();
    float worst = 0.0f;
    for (auto i = (std::size_t) (0.1 * rate); i < dry.size(); ++i)
        worst = std::max (worst, std::abs (dry[i] - tone[i - latency]));
    EXPECT_LT (worst, 1e-6f);
}

TEST_P (RoadInHost, ImpulseDelayIsTheReportedLatencyAndDepthZeroIsFlatAtEveryRate)
{
    for (const double rate : { 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 })
    {
        SCOPED_TRACE (rate);
        auto plugin = load (GetParam(), rate);
        ASSERT_NE (plugin, nullptr);

        const auto at = (std::size_t) (0.1 * rate);
        std::vector<float> impulse ((std::size_t) (0.2 * rate), 0.0f);
        impulse[at] = 0.5f;
        const auto y = host::play (*plugin, impulse, maxBlock);

        // As a host learns it: the VST3 announces a new latency through a restart request that
        // arrives on the message thread, the LV2 through its latency port after a run.
        juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
        const int latency = plugin->getLatencySamples();
        EXPECT_GT (latency, rate < 192000.0 ? 0 : -1);
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
            EXPECT_NEAR (toDb (amplitudeAt (out, frequency, rate, from, to) / amplitudeAt (x, frequency, rate, from, to)), 0.0, 0.3)
                << frequency << " Hz";
        }
    }
}

TEST_P (RoadInHost, AudioThreadNeitherAllocatesNorLocks)
{
    if (! AllocationCounter::isAvailable())
        GTEST_SKIP() << "a sanitizer's allocator cannot be counted";
    constexpr double rate = 48000.0;
    auto plugin = load (GetParam(), rate);
    ASSERT_NE (plugin, nullptr);
    ownCode = findOwnCode (GetParam() == "VST3" ? LUMBRANE_VST3_BINARY : LUMBRANE_LV2_BINARY);
    ASSERT_TRUE (std::any_of (ownCode.begin(), ownCode.end(), [] (const auto& r) { return r.name.contains ("::processBlock(juce::AudioBuffer<float>&"); }))
        << "the processor's processBlock is not among the loaded binary's symbols";
    void* warmUp[4];
    backtrace (warmUp, 4);   // loads the unwinder before anything is counted
    AllocationCounter::setFilter (calledFromOwnCode);
    LockCounter::setFilter (calledFromOwnCode);
    struct Unfilter
    {
        ~Unfilter()
        {
            AllocationCounter::setFilter (nullptr);
            LockCounter::setFilter (nullptr);
        }
    } unfilter;
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

    const auto run = [&] (const char* what, int blocks, const std::function<int (int)>& before)
    {
        std::size_t allocations = 0, locks = 0;
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
            locks += locked.count();
        }
        EXPECT_EQ (allocations, 0u) << what;
        EXPECT_EQ (locks, 0u) << what;
    };

    run ("steady blocks", 20, [] (int) { return maxBlock; });
    run ("first control change", 3, [&] (int b) { if (b == 0) depth->setValueNotifyingHost (0.7f); return maxBlock; });
    run ("later control changes", 12, [&] (int b) { depth->setValueNotifyingHost (0.3f + 0.03f * (float) b); return maxBlock; });
    run ("changing block lengths", 40, [&] (int b) { return b == 39 ? maxBlock : 1 + (int) (random() % maxBlock); });
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
    if (GetParam() == "LV2")
        GTEST_SKIP() << "LV2 has no way to report a tail";
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
