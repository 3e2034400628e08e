// Resident memory and CPU time of processes that run side by side, sampled
// together from /proc.
//
//   bench_recursos <settle s> <window s> name=pid [name=pid ...]
//
// Waits <settle> seconds for the programs to finish starting, then samples
// every second for <window> seconds and prints, for each process:
//   - VmHWM (peak resident memory) and VmRSS (resident now) at the end, and
//     the lowest and highest VmRSS seen during the window;
//   - the CPU time (user + system) spent in the window, counting the
//     children it waited for (a shell loop's commands): the process's CPU
//     clock (nanoseconds, every thread) plus cutime + cstime;
//   - the CPU time since it started (utime + stime + cutime + cstime).
// Ratios are to the first process named.
#include "cpu_proceso.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr auto kPeriodoMuestreo = std::chrono::seconds(1);
constexpr double kKibPorMib = 1024.0;
using banco::kMiliPorSegundo;
constexpr int kDecimalesMemoria = 2;
constexpr int kDecimalesCpu = 1;
constexpr std::size_t kLargoRazon = 32;
// Fields of /proc/<pid>/stat counted from the one after the command name:
// state is field 3 of the whole line, so index 0 here.
constexpr int kCampoUtime = 14 - 3;
constexpr int kCampoCstime = 17 - 3;

struct Proceso {
    std::string nombre;
    pid_t pid = 0;
    double cpuInicioMs = 0;
    double cpuVentanaMs = 0;
    double cpuTotalMs = 0;
    long rssMinKib = -1;
    long rssMaxKib = -1;
    long rssKib = 0;
    long hwmKib = 0;
    bool vivo = true;
};

std::string Ruta(pid_t pid, const std::string& archivo) {
    return "/proc/" + std::to_string(pid) + "/" + archivo;
}

// A "VmXXX:  1234 kB" line of /proc/<pid>/status; -1 when the process is gone.
long CampoEstado(pid_t pid, const std::string& clave) {
    std::ifstream estado(Ruta(pid, "status"));
    std::string linea;
    while (std::getline(estado, linea)) {
        if (linea.rfind(clave + ":", 0) == 0) {
            return std::strtol(linea.c_str() + clave.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

// utime, stime, cutime, cstime in clock ticks; empty when the process is gone.
std::vector<long> TiemposStat(pid_t pid) {
    std::ifstream stat(Ruta(pid, "stat"));
    std::string linea;
    if (!std::getline(stat, linea)) {
        return {};
    }
    // The command name may hold spaces; the fields start after its ')'.
    std::istringstream campos(linea.substr(linea.rfind(')') + 2));
    std::vector<std::string> todos;
    for (std::string campo; campos >> campo;) {
        todos.push_back(campo);
    }
    if (static_cast<int>(todos.size()) <= kCampoCstime) {
        return {};
    }
    std::vector<long> tiempos;
    for (int i = kCampoUtime; i <= kCampoCstime; ++i) {
        tiempos.push_back(std::strtol(todos[static_cast<std::size_t>(i)].c_str(), nullptr, 10));
    }
    return tiempos;
}

double TicsAMs(long tics) {
    return static_cast<double>(tics) * kMiliPorSegundo / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// CPU time for the window: the process's own to the nanosecond, the children
// it waited for in clock ticks.
bool LeerCpu(Proceso& proceso, double& cpuMs) {
    const std::vector<long> tiempos = TiemposStat(proceso.pid);
    if (tiempos.empty()) {
        return false;
    }
    const long utime = tiempos[0];
    const long stime = tiempos[1];
    const long cutime = tiempos[2];
    const long cstime = tiempos[3];
    const double propioMs = banco::CpuProcesoMs(proceso.pid);
    if (propioMs < 0) {
        return false;
    }
    cpuMs = propioMs + TicsAMs(cutime + cstime);
    proceso.cpuTotalMs = TicsAMs(utime + stime + cutime + cstime);
    return true;
}

void Muestrear(Proceso& proceso) {
    const long rss = CampoEstado(proceso.pid, "VmRSS");
    const long hwm = CampoEstado(proceso.pid, "VmHWM");
    if (rss < 0 || hwm < 0) {
        proceso.vivo = false;
        return;
    }
    proceso.rssKib = rss;
    proceso.hwmKib = hwm;
    proceso.rssMinKib = proceso.rssMinKib < 0 ? rss : std::min(proceso.rssMinKib, rss);
    proceso.rssMaxKib = std::max(proceso.rssMaxKib, rss);
}

double Mib(long kib) {
    return static_cast<double>(kib) / kKibPorMib;
}

// a / b for the table, or "-" when there is nothing to divide by.
std::string Razon(double a, double b, int decimales) {
    if (b <= 0) {
        return "-";
    }
    char texto[kLargoRazon];
    std::snprintf(texto, sizeof texto, "%.*f", decimales, a / b);
    return texto;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "uso: %s <asentamiento s> <ventana s> nombre=pid...\n", argv[0]);
        return 2;
    }
    const int asentamiento = std::atoi(argv[1]);
    const int ventana = std::atoi(argv[2]);
    std::vector<Proceso> procesos;
    for (int i = 3; i < argc; ++i) {
        const std::string argumento = argv[i];
        const auto igual = argumento.find('=');
        if (igual == std::string::npos) {
            std::fprintf(stderr, "se espera nombre=pid: %s\n", argv[i]);
            return 2;
        }
        procesos.push_back({argumento.substr(0, igual),
                            static_cast<pid_t>(std::atol(argumento.c_str() + igual + 1))});
    }

    std::this_thread::sleep_for(std::chrono::seconds(asentamiento));
    for (auto& proceso : procesos) {
        proceso.vivo = LeerCpu(proceso, proceso.cpuInicioMs);
    }
    const auto inicio = std::chrono::steady_clock::now();
    for (int segundo = 1; segundo <= ventana; ++segundo) {
        std::this_thread::sleep_until(inicio + segundo * kPeriodoMuestreo);
        for (auto& proceso : procesos) {
            if (proceso.vivo) {
                Muestrear(proceso);
            }
        }
    }
    bool todosVivos = true;
    for (auto& proceso : procesos) {
        double cpuFinMs = 0;
        proceso.vivo = proceso.vivo && LeerCpu(proceso, cpuFinMs);
        proceso.cpuVentanaMs = cpuFinMs - proceso.cpuInicioMs;
        todosVivos = todosVivos && proceso.vivo;
    }

    const Proceso& base = procesos.front();
    std::printf("| proceso | VmHWM MiB | VmRSS MiB | VmRSS min..max MiB | CPU en %d s ms | "
                "CPU desde el inicio ms | VmHWM x | VmRSS x | CPU x |\n",
                ventana);
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const auto& proceso : procesos) {
        if (!proceso.vivo) {
            std::printf("| %s | terminó antes de tiempo | | | | | | | |\n", proceso.nombre.c_str());
            continue;
        }
        const double hwm = static_cast<double>(proceso.hwmKib);
        const double rss = static_cast<double>(proceso.rssKib);
        const double hwmBase = base.vivo ? static_cast<double>(base.hwmKib) : 0;
        const double rssBase = base.vivo ? static_cast<double>(base.rssKib) : 0;
        const double cpuBase = base.vivo ? base.cpuVentanaMs : 0;
        std::printf("| %s | %.1f | %.1f | %.1f..%.1f | %.1f | %.0f | %s | %s | %s |\n",
                    proceso.nombre.c_str(), Mib(proceso.hwmKib), Mib(proceso.rssKib),
                    Mib(proceso.rssMinKib), Mib(proceso.rssMaxKib), proceso.cpuVentanaMs,
                    proceso.cpuTotalMs, Razon(hwm, hwmBase, kDecimalesMemoria).c_str(),
                    Razon(rss, rssBase, kDecimalesMemoria).c_str(),
                    Razon(proceso.cpuVentanaMs, cpuBase, kDecimalesCpu).c_str());
    }
    return todosVivos ? 0 : 1;
}
