// Reads and writes the store from a fresh copy of the running test
// executable. The settings of one process share a cache, so only another
// process shows what really reached the file.
#pragma once

#include "settings/ajustes.h"

#include <QString>
#include <QTest>
#include <optional>

namespace hijo {

// When the arguments ask for a task of the child, runs it and returns its exit
// code; otherwise returns nothing and the test runs as usual. Call it first in
// main(), before the test environment is set up: the child inherits its
// parent's environment.
std::optional<int> Atender(int argc, char** argv);

// Reads a key in a fresh process of `ejecutable` (this test executable when
// empty). Nothing when the child failed or crashed.
std::optional<QString> Leer(const ajustes::Clave& clave, const QString& ejecutable = {});

// Writes a key in a fresh process. False when the write or the child failed.
bool Escribir(const ajustes::Clave& clave, const QString& texto, const QString& ejecutable = {});

} // namespace hijo

// Shows what a read gave when a comparison fails (found by argument-dependent
// lookup, as QString lives in the global namespace).
inline char* toString(const std::optional<QString>& texto) {
    return texto ? QTest::toString(*texto) : qstrdup("(sin lectura)");
}
