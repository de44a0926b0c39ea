#pragma once

#include <complex>
#include <span>

namespace veruziva {

// The discrete Fourier transform of real samples of one size (FFTW's plan, made once): bins 0
// to size/2, in place (the samples' memory holds the bins after it). Not for use from two
// threads at once.
class RealFft {
public:
    explicit RealFft(int size);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    int size() const { return m_size; }
    int bins() const { return m_size / 2 + 1; }
    // The size's samples to transform; transform() overwrites them with output().
    std::span<double> input();
    void transform();
    // X[k] = sum over n of x[n] e^(-2 pi i k n / size), k = 0 .. size/2.
    std::span<const std::complex<double>> output() const;

private:
    int m_size;
    double* m_data;  // size + 2 doubles: the samples, then the bins over them
    void* m_plan;
};

}  // namespace veruziva
