// The look room: what the program's windows share (twips to pixels, the
// colours, the fonts, the centring, the captions of the standard buttons, the
// password box) and what the window system holds of a window. On the ground
// floor: it uses Qt and the platform alone.
#pragma once

#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWindow>

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

// How far apart two colours read, from 1 (the same) to 21 (black on white),
// as the Web Content Accessibility Guidelines measure it.
double Contraste(const QColor& uno, const QColor& otro);
// The least contrast that body text needs to be read with ease.
inline constexpr double kContrasteLegible = 4.5;
// `preferido` where it reads on `fondo`; otherwise black or white, whichever
// reads better there. Text on a fixed background keeps the desktop's colour
// where the desktop's theme allows it, and stays readable on a dark one.
QColor TextoLegible(const QColor& fondo, const QColor& preferido);

// Paints a control's background in a solid colour, with text that reads on
// it whatever the desktop's theme (its children that draw on it included).
void PintarFondo(QWidget* control, const QColor& color);
// A control's text colour, enabled and disabled, where it stands on `fondo`.
void ColorTexto(QWidget* control, const QColor& color, const QColor& fondo);
// A font by family and size in points (sizes such as 9.75 are kept). Where
// the family is missing (the Windows fonts on Linux), the nearest in shape
// and width that the system has stands in for it.
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
// Readies a message box: its standard buttons get those captions, and a
// screen reader reads its text as the box's own.
void PrepararCaja(QMessageBox& caja);

// What the window system itself holds of a window's native window right now,
// asked of it directly (the X server, Windows) and never of Qt: another
// program may unmap, hide or destroy a window behind Qt's back. Where the
// window system cannot be asked (Wayland, the offscreen platform), the answer
// is what Qt believes.
enum class Nativa {
    Ninguna,    // never made, or destroyed
    Retirada,   // off the screen, and nothing keeps it to bring it back
    Minimizada, // kept by a window manager, minimised
    Presente,   // on the screen, or kept by a window manager in normal state
                // (on another desktop)
};
Nativa EstadoNativa(const QWidget* ventana);
// Hides the window and lets go of its native window, so that the next show
// makes a new one: for a window that another program destroyed or withdrew.
void RehacerNativa(QWidget* ventana);

// A password box: its characters are masked on the screen and reach nobody
// but the program. While it has the keyboard focus on X11 it
// holds the keyboard grab, so that no other client sees the keys typed (a
// client that selects key events on the window would); it lets go when it
// loses the focus, hides or ends, and works on without the grab when another
// client holds one. Wayland compositors keep key events to the focused client
// already. A screen reader hears of each change as asterisks too (Qt 6.4 puts
// the typed characters into its text-change events), and its questions about
// the text get no characters.
class CajaClave : public QLineEdit {
    Q_OBJECT
public:
    explicit CajaClave(QWidget* padre = nullptr);
    ~CajaClave() override;

protected:
    void focusInEvent(QFocusEvent* evento) override;
    void focusOutEvent(QFocusEvent* evento) override;
    void hideEvent(QHideEvent* evento) override;

private:
    void Capturar();
    void Soltar();

    QPointer<QWindow> capturada_;
    QTimer reintento_;
    int reintentos_ = 0;
};

} // namespace ventana
