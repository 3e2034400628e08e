// Wrong password entries in a row and the wait they earn before the next
// entry is judged: guessing cannot go at machine speed. The lock keeps one
// count for the whole run.
#pragma once

namespace acceso {

// Wrong entries in a row that are judged at once; each one after them waits.
inline constexpr int kFallosSinEspera = 3;

class Intentos {
public:
    // How many seconds the next entry waits before it is judged: none after
    // fewer than kFallosSinEspera wrong entries in a row, then 1, 2, 4 ...
    // doubling up to half a minute.
    int SegundosAntesDeJuzgar() const;
    // Notes the judgement of an entry: a wrong one adds to the count, the
    // right one clears it.
    void Anotar(bool correcta);

private:
    int fallosSeguidos_ = 0;
};

} // namespace acceso
