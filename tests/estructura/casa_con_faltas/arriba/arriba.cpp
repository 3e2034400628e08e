// One fault of each kind, beside an include that is none.
#include "abajo/abajo.cpp"
#include "abajo/abajo.h"
#include "abajo/privada.h"
#include "lado/lado.h"
