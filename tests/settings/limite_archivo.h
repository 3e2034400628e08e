// Caps the size of the files this process writes, for as long as it lives.
// A write that crosses the cap stops there, as on a disk that fills up; it
// works the same for root, whom permissions do not stop.
#pragma once

#include <csignal>
#include <sys/resource.h>

class LimiteTamanoArchivo {
public:
    explicit LimiteTamanoArchivo(rlim_t bytes) {
        // Crossing the cap raises SIGXFSZ, whose default ends the process.
        anteriorSenal_ = std::signal(SIGXFSZ, SIG_IGN);
        if (getrlimit(RLIMIT_FSIZE, &anterior_) != 0) {
            return;
        }
        rlimit nuevo = anterior_;
        nuevo.rlim_cur = bytes;
        activo_ = setrlimit(RLIMIT_FSIZE, &nuevo) == 0;
    }
    ~LimiteTamanoArchivo() {
        if (activo_) {
            setrlimit(RLIMIT_FSIZE, &anterior_);
        }
        std::signal(SIGXFSZ, anteriorSenal_);
    }
    LimiteTamanoArchivo(const LimiteTamanoArchivo&) = delete;
    LimiteTamanoArchivo& operator=(const LimiteTamanoArchivo&) = delete;

    bool activo() const { return activo_; }

private:
    rlimit anterior_{};
    void (*anteriorSenal_)(int) = nullptr;
    bool activo_ = false;
};
