// The look shared by the program's windows: twips to pixels, the colours,
// the fonts, the centring, the captions of the standard buttons.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

class QMessageBox;
class QWidget;

namespace ventana {

// Designs are measured in twips, 1/1440 inch: 15 twips make one pixel at
// 96 dots per inch. Qt scales pixels for denser screens by itself.
inline constexpr int kTwipsPorPixel = 15;

constexpr int Twips(int twips) {
    return (twips + kTwipsPorPixel / 2) / kTwipsPorPixel;
}
constexpr QRect RectTwips(int izquierda, int arriba, int ancho, int alto) {
    return QRect(Twips(izquierda), Twips(arriba), Twips(ancho), Twips(alto));
}

inline constexpr QColor kBlanco{255, 255, 255};
inline constexpr QColor kAzulClaro{217, 238, 255}; // value and prompt labels
inline constexpr QColor kGrisClaro{224, 224, 224}; // the level frame

// Paints a control's background in a solid colour.
void PintarFondo(QWidget* control, const QColor& color);
// A font by family and size in points (sizes such as 9.75 are kept).
QFont Fuente(const char* familia, double puntos, bool negrita = false, bool cursiva = false);
// Centres a window on the screen at the size it will show with, its frame
// included once the frame is known.
void CentrarEnPantalla(QWidget* ventana);

// The captions of the standard buttons (UTF-8), Spanish whatever language Qt
// speaks, with their access keys.
inline constexpr char kTextoAceptar[] = "&Aceptar";
inline constexpr char kTextoCancelar[] = "&Cancelar";
inline constexpr char kTextoSi[] = "&Sí";
inline constexpr char kTextoNo[] = "&No";
// Gives a message box's standard buttons those captions.
void TextosEspanoles(QMessageBox& caja);

} // namespace ventana
