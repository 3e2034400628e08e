// Small statistics shared by the benchmarks: percentiles and the median of a
// set of samples.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace banco {

inline constexpr int kCien = 100;
inline constexpr int kMediana = 50;

// The sample at the given percentile (nearest rank below); 0 for no samples.
inline double Percentil(std::vector<double> valores, int percentil) {
    if (valores.empty()) {
        return 0;
    }
    std::sort(valores.begin(), valores.end());
    const auto indice = static_cast<std::size_t>(percentil) * (valores.size() - 1) / kCien;
    return valores[indice];
}

inline double Mediana(const std::vector<double>& valores) {
    return Percentil(valores, kMediana);
}

inline double Maximo(const std::vector<double>& valores) {
    return valores.empty() ? 0 : *std::max_element(valores.begin(), valores.end());
}

} // namespace banco
