#include "access/acceso.h"

QString gstrClave;
bool gblnAcceso = false;
