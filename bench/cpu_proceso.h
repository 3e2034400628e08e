// A process's CPU time, read from its CPU clock, shared by the benchmarks.
#pragma once

#include <ctime>
#include <sys/types.h>

namespace banco {

inline constexpr double kNanoPorMili = 1e6;
inline constexpr double kMiliPorSegundo = 1e3;

// A process's CPU time, every thread counted (those that have ended too), in
// milliseconds; negative when the process is gone.
inline double CpuProcesoMs(pid_t pid) {
    clockid_t reloj{};
    timespec tiempo{};
    if (clock_getcpuclockid(pid, &reloj) != 0 || clock_gettime(reloj, &tiempo) != 0) {
        return -1;
    }
    return static_cast<double>(tiempo.tv_sec) * kMiliPorSegundo +
           static_cast<double>(tiempo.tv_nsec) / kNanoPorMili;
}

} // namespace banco
