// Times the input FIR and the true-peak meters as stages: microseconds per stereo block, median
// of repeated runs, single-threaded, with the framework's engine and the plain meter alongside.

#include <processor/PluginProcessor.h>
#include <processor/TruePeakFilter.h>
#include <processor/road/InputKernel.h>
#include <processor/road/TruePeakMeter.h>

#include <juce_dsp/juce_dsp.h>
#include <unsupported/Eigen/FFT>
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <complex>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>

namespace
{
using Clock = std::chrono::steady_clock;

/** Median over `repeats` runs of `run`, each after an untimed `setup`. */
double medianMicroseconds (int repeats, const std::function<void()>& run, const std::function<void()>& setup = [] {})
{
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i)
    {
        setup();
        const auto start = Clock::now();
        run();
        times.push_back (std::chrono::duration<double, std::micro> (Clock::now() - start).count());
    }
    std::nth_element (times.begin(), times.begin() + (long) times.size() / 2, times.end());
    return times[times.size() / 2];
}

volatile float sink = 0.0f;

std::vector<float> noise (int length, unsigned seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> u (-0.3f, 0.3f);
    std::vector<float> v ((size_t) length);
    for (auto& s : v)
        s = u (rng);
    return v;
}

void benchTransforms()
{
    constexpr int size = 2048;
    auto input = noise (size, 1);

    float* real = fftwf_alloc_real (size);
    fftwf_complex* spectrum = fftwf_alloc_complex (size / 2 + 1);
    const auto planStart = Clock::now();
    auto forward = fftwf_plan_dft_r2c_1d (size, real, spectrum, FFTW_ESTIMATE);
    auto inverse = fftwf_plan_dft_c2r_1d (size, spectrum, real, FFTW_ESTIMATE);
    const double planMs = std::chrono::duration<double, std::milli> (Clock::now() - planStart).count();
    std::copy (input.begin(), input.end(), real);
    const double fftw = medianMicroseconds (2001, [&] { fftwf_execute (forward); fftwf_execute (inverse); sink = sink + real[5]; });
    fftwf_destroy_plan (forward);
    fftwf_destroy_plan (inverse);
    fftwf_free (real);
    fftwf_free (spectrum);

    Eigen::FFT<float> eigenFft;
    std::vector<std::complex<float>> eigenSpectrum;
    std::vector<float> eigenOut (size);
    const double eigen = medianMicroseconds (2001, [&] { eigenFft.fwd (eigenSpectrum, input); eigenFft.inv (eigenOut, eigenSpectrum); sink = sink + eigenOut[5]; });

    juce::dsp::FFT juceFft (11);
    std::vector<float> juceData (2 * size);
    const double juceTime = medianMicroseconds (2001, [&]
    {
        std::copy (input.begin(), input.end(), juceData.begin());
        juceFft.performRealOnlyForwardTransform (juceData.data(), true);
        juceFft.performRealOnlyInverseTransform (juceData.data());
        sink = sink + juceData[5];
    });

    std::printf ("Real FFT, %d points, forward + inverse, us\n", size);
    std::printf ("  FFTW (fftwf, estimated plans)    %8.2f   (planning both: %.2f ms)\n", fftw, planMs);
    std::printf ("  Eigen FFT (kissfft)              %8.2f\n", eigen);
    std::printf ("  JUCE fallback FFT                %8.2f\n", juceTime);
}

void benchKernel()
{
    const auto general = noise (2048, 2);
    const auto planStart = Clock::now();
    {
        InputKernel k;
        k.prepare (general.data(), 2048, 1115, 2);
    }
    const double prepareMs = std::chrono::duration<double, std::milli> (Clock::now() - planStart).count();

    std::printf ("\nInput FIR, 2048 taps, stereo, us per block (median)\n");
    std::printf ("  %-34s %8s %8s\n", "", "1024", "1115");

    std::vector<float> identity (2048, 0.0f);
    identity[0] = 1.0f;

    const auto timeStage = [] (const std::vector<float>& h, int n)
    {
        InputKernel k;
        k.prepare (h.data(), (int) h.size(), n, 2);
        const auto left = noise (n, 3), right = noise (n, 4);
        auto a = left, b = right;
        float* channels[] = { a.data(), b.data() };
        return medianMicroseconds (2001, [&] { k.process (channels, 2, n); sink = sink + a[0]; }, [&]
        {
            std::copy (left.begin(), left.end(), a.begin());   // the same block every time
            std::copy (right.begin(), right.end(), b.begin());
        });
    };

    // The framework's engine, as the road ran it before (its cost does not depend on the taps).
    const auto timeFramework = [&general] (int n)
    {
        juce::dsp::Convolution convolution;
        juce::AudioBuffer<float> kernel (1, (int) general.size());
        std::copy (general.begin(), general.end(), kernel.getWritePointer (0));
        convolution.loadImpulseResponse (std::move (kernel), 96000.0, juce::dsp::Convolution::Stereo::yes,
                                         juce::dsp::Convolution::Trim::no, juce::dsp::Convolution::Normalise::no);
        convolution.prepare ({ 96000.0, (juce::uint32) n, 2 });
        juce::AudioBuffer<float> buffer (2, n);
        buffer.clear();
        juce::dsp::AudioBlock<float> block (buffer);
        return medianMicroseconds (2001, [&] { convolution.process (juce::dsp::ProcessContextReplacing<float> (block)); });
    };

    std::printf ("  %-34s %8.2f %8.2f\n", "identity, this stage", timeStage (identity, 1024), timeStage (identity, 1115));
    std::printf ("  %-34s %8.2f %8.2f\n", "general, this stage (FFTW)", timeStage (general, 1024), timeStage (general, 1115));
    std::printf ("  %-34s %8.2f %8.2f\n", "general, juce::dsp::Convolution", timeFramework (1024), timeFramework (1115));
    std::printf ("  preparing the general kernel, first in the process: %.2f ms\n", prepareMs);
}

/** The meter as it was: a history of the block plus 12 samples per channel and a plain loop. */
struct PlainMeter
{
    std::vector<std::vector<float>> history;

    PlainMeter (int channels, int n) : history ((size_t) channels, std::vector<float> ((size_t) n + 12, 0.0f)) {}

    float measure (int ch, const float* x, int n)
    {
        auto& h = history[(size_t) ch];
        std::memmove (h.data(), h.data() + h.size() - 12, 12 * sizeof (float));
        std::copy (x, x + n, h.begin() + 12);
        return 20.0f * std::log10 (TruePeakMeter::plainPeak (h.data() + 12, n));
    }
};

void benchMeters()
{
    constexpr int n = 512;
    const auto left = noise (n, 5), right = noise (n, 6);
    PlainMeter plain (4, n);
    TruePeakMeter in, out;

    const double before = medianMicroseconds (2001, [&]
    {
        sink = sink + plain.measure (0, left.data(), n) + plain.measure (1, right.data(), n)
                    + plain.measure (2, left.data(), n) + plain.measure (3, right.data(), n);
    });
    const double after = medianMicroseconds (2001, [&]
    {
        sink = sink + in.process (0, left.data(), n) + in.process (1, right.data(), n)
                    + out.process (0, left.data(), n) + out.process (1, right.data(), n);
    });

    std::printf ("\nTrue-peak meters, both groups, stereo, %d samples, us per block\n", n);
    std::printf ("  plain loop                       %8.2f\n", before);
    std::printf ("  this stage (vectorised)          %8.2f   (%.1fx)\n", after, before / after);
}
} // namespace

int main()
{
    juce::ScopedJuceInitialiser_GUI juce;
    std::printf ("Lumbrane stage benchmark (%s)\n\n", juce::SystemStats::getCpuModel().toRawUTF8());
    benchTransforms();
    benchKernel();
    benchMeters();
    return 0;
}
