#include "analysis/realfft.h"

#include <fftw3.h>

#include <algorithm>
#include <new>
#include <stdexcept>

namespace veruziva {

RealFft::RealFft(int size) : m_size(size) {
    if (size < 2 || size % 2 != 0) {
        throw std::invalid_argument("transform size");
    }
    // In place: size/2 + 1 complex bins take the room of size + 2 samples; a 65536-point
    // transform needs 512 KiB where apart it would need twice that.
    m_data = fftw_alloc_real(static_cast<std::size_t>(size) + 2);
    if (m_data == nullptr) {
        throw std::bad_alloc();
    }
    // Planned by estimate: measuring would hold the window up whenever the size changes, for
    // a gain the benchmark shows to be small at these sizes.
    m_plan =
        fftw_plan_dft_r2c_1d(size, m_data, reinterpret_cast<fftw_complex*>(m_data), FFTW_ESTIMATE);
    std::fill(m_data, m_data + size + 2, 0.0);
}

RealFft::~RealFft() {
    fftw_destroy_plan(static_cast<fftw_plan>(m_plan));
    fftw_free(m_data);
}

std::span<double> RealFft::input() {
    return {m_data, static_cast<std::size_t>(m_size)};
}

void RealFft::transform() {
    fftw_execute(static_cast<fftw_plan>(m_plan));
}

std::span<const std::complex<double>> RealFft::output() const {
    // fftw_complex is laid out as std::complex<double>, as FFTW's manual guarantees.
    return {reinterpret_cast<const std::complex<double>*>(m_data),
            static_cast<std::size_t>(bins())};
}

}  // namespace veruziva
