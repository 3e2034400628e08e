// The about room: the About box (the program's title, version and
// description) and the program's own icon. It may use the look room.
#pragma once

class QWidget;
class QIcon;

namespace acerca_de {

// Opens the About dialog modally, without an owner, and waits for it to close.
void MostrarAcercaDe();

// The program's own icon (the window icon of the main window and the picture
// of the About box).
QIcon IconoPrograma();

} // namespace acerca_de
