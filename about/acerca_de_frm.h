// The About box: the program's title, version, description, its makers and a
// contact address, beside the program's icon.
#pragma once

#include <QDialog>
#include <array>

class QLabel;
class QPushButton;

class AcercaDeFrm : public QDialog {
    Q_OBJECT
public:
    explicit AcercaDeFrm(QWidget* padre = nullptr);

    // Handlers.
    void Form_Load();
    void BtnAceptar_Click();

    // The fixed texts of the makers' labels.
    static QString TextoAutor();
    static QString TextoEmail();
    // "Versión " and the version numbers, as the version label reads.
    static QString TextoVersion();

    // The headings Lbls(0..4), by index.
    static constexpr int kTituloAplicacion = 0;
    static constexpr int kDescripcionAplicacion = 1;
    static constexpr int kDesarrolladaPor = 2;
    static constexpr int kVersion = 3;
    static constexpr int kEmail = 4;
    static constexpr int kNumeroEncabezados = 5;

protected:
    void showEvent(QShowEvent* evento) override;
    void keyPressEvent(QKeyEvent* evento) override;

private:
    void ConstruirControles();

    QLabel* PicIcono = nullptr;
    std::array<QLabel*, kNumeroEncabezados> Lbls{};
    QLabel* LblTitulo = nullptr;
    QLabel* LblVersion = nullptr;
    QLabel* LblDescripcion = nullptr;
    QLabel* LblAutor = nullptr;
    QLabel* LblEmail = nullptr;
    QPushButton* BtnAceptar = nullptr;
};
