#!/usr/bin/python3
"""Reads and drives a running program through the accessibility bus (AT-SPI),
for end-to-end tests where no X server takes synthetic input (Wayland).

The program must have registered on the bus: a Qt program does so when
started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 and a session bus, the same
one given here (--bus or DBUS_SESSION_BUS_ADDRESS).

Usage: atspi_programa.py [--bus DIRECCION] [--aplicacion NOMBRE]
                         [--espera SEGUNDOS] [--ventana VENTANA] [--rol ROL]
                         ORDEN ...

  ventanas                   the application's top-level windows, one a line:
                             role <TAB> name
  controles                  every focusable control on show, of every window,
                             one a line: window <TAB> role <TAB> name
  pulsar CONTROL             does the control's press action (--accion for
                             another one, e.g. ShowMenu or Increase)
  escribir CONTROL TEXTO     replaces the text of an editable box (no key
                             events: as a paste would)
  valor CONTROL [N]          sets the current value of a slider or scroll
                             bar to N; without N prints it
  texto CONTROL              prints the control's text (its name when it has
                             no text)
  estado CONTROL             prints "sensible=0|1 mostrado=0|1 estados=...":
                             sensible when it and what holds it are enabled
  escuchar EVENTO ...        prints "escuchando", then the application's
                             events of these types ("object:text-changed")
                             until ended: type <TAB> role <TAB> data

CONTROL is a role as AT-SPI names it ("password text", "scroll bar") or an
accessible name ("Aceptar"; Qt leaves out the '&' of a caption); runs of
white space in names count as one space, and leading or trailing ones are
ignored. Of the controls so named, the first one on show is taken (the one
that fits the order, if several); --ventana keeps to the windows of that
role ("alert") or title, --rol to controls of that role ("--rol 'menu item'
Salir"). The application, and the control, are waited for up to --espera
seconds.

Unlike a user, an order here reaches a window that a modal dialog blocks,
and text that no key would get past the program's key filters.

Names and text are printed with tabs and line breaks as \\t and \\n.

Exit status: 0 done; 3 application not found; 4 control not found; 5 the
action was refused (the control is disabled or hidden, or in a disabled
window or menu, the program said no, or the result is not the one asked
for); 1 any other failure; 2 bad usage.
"""

import argparse
import os
import sys
import time

CODIGO_FALLO = 1
CODIGO_SIN_APLICACION = 3
CODIGO_SIN_CONTROL = 4
CODIGO_RECHAZADA = 5

APLICACION_POR_DEFECTO = "Quelvaren"
ESPERA_POR_DEFECTO_S = 10.0
SONDEO_S = 0.05

# What counts as pressing, in the names toolkits give their actions.
ACCIONES_PULSAR = ("Press", "press", "click", "Click", "Toggle", "toggle", "activate")
# How long one call's answer is waited for (libatspi's own limit is 15 s on a
# program started moments ago), and an action's.
ESPERA_LLAMADA_MS = 5000
ESPERA_ACCION_MS = 1000
# D-Bus's error when a call's answer does not come in time.
MENSAJE_SIN_RESPUESTA = "Did not receive a reply"


class Fallo(Exception):
    def __init__(self, codigo, mensaje):
        super().__init__(mensaje)
        self.codigo = codigo


def Normalizado(texto):
    return " ".join((texto or "").split())


def Imprimible(texto):
    return (texto or "").replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def Estados(objeto):
    import pyatspi

    try:
        return {pyatspi.stateToString(s) for s in objeto.getState().getStates()}
    except Exception:  # the object went away meanwhile
        return set()


def Recorrer(objeto):
    """The object and all its descendants, in tree order; objects that go
    away while being read are left out."""
    pendientes = [objeto]
    while pendientes:
        actual = pendientes.pop()
        yield actual
        try:
            hijos = [actual.getChildAtIndex(i) for i in range(actual.childCount)]
        except Exception:
            continue
        pendientes.extend(h for h in reversed(hijos) if h is not None)


def Rol(objeto):
    try:
        return objeto.getRoleName()
    except Exception:
        return ""


def Nombre(objeto):
    try:
        return objeto.name or ""
    except Exception:
        return ""


def Ventanas(aplicacion):
    try:
        hijos = [aplicacion.getChildAtIndex(i) for i in range(aplicacion.childCount)]
    except Exception:
        return []
    return [h for h in hijos if h is not None]


def BuscarAplicacion(nombre, plazo):
    import pyatspi

    buscado = nombre.casefold()
    while True:
        try:
            escritorio = pyatspi.Registry.getDesktop(0)
            for i in range(escritorio.childCount):
                aplicacion = escritorio.getChildAtIndex(i)
                if aplicacion is not None and Nombre(aplicacion).casefold() == buscado:
                    return aplicacion
        except Exception:  # the registry is not up yet
            pass
        if time.monotonic() >= plazo:
            raise Fallo(CODIGO_SIN_APLICACION, "no está la aplicación: " + nombre)
        time.sleep(SONDEO_S)


def BuscarControl(aplicacion, argumentos, apto, plazo):
    """The control that the order names, waited for until the deadline. Of
    several, the first in tree order that is on show and that `apto`
    accepts; failing that, one on show (a user sees that one); failing that,
    one that `apto` accepts."""
    buscado = Normalizado(argumentos.control)
    ventana = argumentos.ventana and Normalizado(argumentos.ventana)
    while True:
        candidatos = []
        for raiz in Ventanas(aplicacion):
            if ventana and ventana not in (Rol(raiz), Normalizado(Nombre(raiz))):
                continue
            candidatos.extend(o for o in Recorrer(raiz)
                              if buscado in (Rol(o), Normalizado(Nombre(o)))
                              and argumentos.rol in (None, Rol(o)))
        if candidatos:
            return min(candidatos,
                       key=lambda o: ("showing" not in Estados(o), not apto(o)))
        if time.monotonic() >= plazo:
            raise Fallo(CODIGO_SIN_CONTROL, "no está el control: " + argumentos.control)
        time.sleep(SONDEO_S)


def Interfaz(objeto, consulta):
    try:
        return getattr(objeto, consulta)()
    except Exception:  # NotImplementedError, or the object went away
        return None


def IndiceAccion(objeto, nombres):
    acciones = Interfaz(objeto, "queryAction")
    if acciones is None:
        return None
    try:
        disponibles = [acciones.getName(i) for i in range(acciones.nActions)]
    except Exception:
        return None
    for nombre in nombres:
        if nombre in disponibles:
            return disponibles.index(nombre)
    return None


def Sensible(objeto):
    estados = Estados(objeto)
    return "sensitive" in estados and "enabled" in estados


def SensibleHastaLaVentana(objeto):
    """Whether the control, and every one that holds it up to its window, is
    enabled: Qt leaves the items of a disabled menu enabled."""
    actual = objeto
    while actual is not None and Rol(actual) != "application":
        if not Sensible(actual):
            return False
        try:
            actual = actual.parent
        except Exception:
            break
    return True


def ExigirAlAlcance(objeto):
    """What a user could not reach is refused: a control that is disabled, or
    hidden, or inside a disabled window or menu (Qt still runs the actions of
    all of them). A menu item counts as on show while its menu is closed."""
    if "showing" not in Estados(objeto) and Rol(objeto) != "menu item":
        raise Fallo(CODIGO_RECHAZADA, "el control no está a la vista: " + Nombre(objeto))
    if not SensibleHastaLaVentana(objeto):
        raise Fallo(CODIGO_RECHAZADA, "el control no está activo: " + Nombre(objeto))


def OrdenVentanas(aplicacion, _argumentos, _plazo):
    for ventana in Ventanas(aplicacion):
        print(Rol(ventana) + "\t" + Imprimible(Nombre(ventana)))


def OrdenControles(aplicacion, _argumentos, _plazo):
    for ventana in Ventanas(aplicacion):
        titulo = Imprimible(Nombre(ventana))
        for objeto in Recorrer(ventana):
            if objeto is not ventana and {"focusable", "showing"} <= Estados(objeto):
                print(titulo + "\t" + Rol(objeto) + "\t" + Imprimible(Nombre(objeto)))


def OrdenPulsar(aplicacion, argumentos, plazo):
    from gi.repository import Atspi

    nombres = (argumentos.accion,) if argumentos.accion else ACCIONES_PULSAR
    control = BuscarControl(aplicacion, argumentos,
                            lambda o: IndiceAccion(o, nombres) is not None, plazo)
    # Refused as disabled before as lacking the action: Qt lists no actions
    # at all for a disabled control.
    ExigirAlAlcance(control)
    indice = IndiceAccion(control, nombres)
    if indice is None:
        raise Fallo(CODIGO_RECHAZADA, "el control no tiene esa acción: " + argumentos.control)
    try:
        Atspi.set_timeout(ESPERA_ACCION_MS, ESPERA_ACCION_MS)
        hecha = control.queryAction().doAction(indice)
    except Exception as error:
        # Qt answers only once the action has run: one that opens a modal
        # dialog (a menu item does) is still running when the call gives up.
        if MENSAJE_SIN_RESPUESTA not in str(error):
            raise
        print("la acción sigue en curso: " + argumentos.control, file=sys.stderr)
        hecha = True
    if not hecha:
        raise Fallo(CODIGO_RECHAZADA, "acción rechazada: " + argumentos.control)


def OrdenEscribir(aplicacion, argumentos, plazo):
    control = BuscarControl(aplicacion, argumentos,
                            lambda o: Interfaz(o, "queryEditableText") is not None, plazo)
    ExigirAlAlcance(control)
    if Interfaz(control, "queryEditableText") is None or "editable" not in Estados(control):
        raise Fallo(CODIGO_RECHAZADA, "el control no es editable: " + argumentos.control)
    if not control.queryEditableText().setTextContents(argumentos.texto):
        raise Fallo(CODIGO_RECHAZADA, "texto rechazado: " + argumentos.control)
    # A password box does not give its text away, only its length.
    texto = control.queryText()
    if texto.characterCount != len(argumentos.texto) or (
            control.getRoleName() != "password text"
            and texto.getText(0, -1) != argumentos.texto):
        raise Fallo(CODIGO_RECHAZADA, "el control guarda otro texto: "
                    + Imprimible(texto.getText(0, -1)))


def OrdenValor(aplicacion, argumentos, plazo):
    control = BuscarControl(aplicacion, argumentos,
                            lambda o: Interfaz(o, "queryValue") is not None, plazo)
    valor = Interfaz(control, "queryValue")
    if valor is None:
        raise Fallo(CODIGO_RECHAZADA, "el control no tiene valor: " + argumentos.control)
    if argumentos.valor is None:
        print("%.15g" % valor.currentValue)
        return
    ExigirAlAlcance(control)
    valor.currentValue = argumentos.valor
    if valor.currentValue != argumentos.valor:
        raise Fallo(CODIGO_RECHAZADA, "el control guarda otro valor: %.15g" % valor.currentValue)


def OrdenTexto(aplicacion, argumentos, plazo):
    control = BuscarControl(aplicacion, argumentos, lambda o: True, plazo)
    texto = Interfaz(control, "queryText")
    print(Imprimible(texto.getText(0, -1) if texto is not None else Nombre(control)))


def OrdenEstado(aplicacion, argumentos, plazo):
    control = BuscarControl(aplicacion, argumentos, lambda o: True, plazo)
    estados = Estados(control)
    print("sensible=%d mostrado=%d estados=%s" % (
        SensibleHastaLaVentana(control), "showing" in estados, ",".join(sorted(estados))))


def OrdenEscuchar(aplicacion, argumentos, _plazo):
    import pyatspi

    buscada = Nombre(aplicacion).casefold()

    def Oido(evento):
        try:
            propia = Nombre(evento.host_application).casefold() == buscada
        except Exception:  # the source went away meanwhile
            propia = False
        if propia:
            print("\t".join((evento.type, Rol(evento.source), Imprimible(str(evento.any_data)))),
                  flush=True)

    for tipo in argumentos.eventos:
        pyatspi.Registry.registerEventListener(Oido, tipo)
    print("escuchando", flush=True)
    pyatspi.Registry.start()


def DireccionAccesibilidad():
    from gi.repository import Gio, GLib

    try:
        sesion = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        respuesta = sesion.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                     "GetAddress", None, GLib.VariantType("(s)"),
                                     Gio.DBusCallFlags.NONE, ESPERA_LLAMADA_MS, None)
    except GLib.Error as error:
        raise Fallo(CODIGO_FALLO, "no hay bus de accesibilidad: " + error.message)
    return respuesta.unpack()[0]


def Argumentos():
    analizador = argparse.ArgumentParser(
        description="Lee y maneja un programa en marcha por el bus de accesibilidad (AT-SPI).")
    analizador.add_argument("--bus", help="dirección del bus de sesión "
                            "(por defecto DBUS_SESSION_BUS_ADDRESS)")
    analizador.add_argument("--aplicacion", default=APLICACION_POR_DEFECTO,
                            help="nombre de la aplicación (sin distinguir mayúsculas)")
    analizador.add_argument("--espera", type=float, default=ESPERA_POR_DEFECTO_S,
                            help="segundos que se espera a la aplicación y al control")
    analizador.add_argument("--ventana", help="busca el control solo en las ventanas de este "
                            "rol o título")
    analizador.add_argument("--rol", help="busca solo controles de este rol")
    ordenes = analizador.add_subparsers(dest="orden", required=True)
    ordenes.add_parser("ventanas").set_defaults(funcion=OrdenVentanas)
    ordenes.add_parser("controles").set_defaults(funcion=OrdenControles)
    orden = ordenes.add_parser("pulsar")
    orden.add_argument("control")
    orden.add_argument("--accion", help="nombre de la acción (por defecto Press o parecida)")
    orden.set_defaults(funcion=OrdenPulsar)
    orden = ordenes.add_parser("escribir")
    orden.add_argument("control")
    orden.add_argument("texto")
    orden.set_defaults(funcion=OrdenEscribir)
    orden = ordenes.add_parser("valor")
    orden.add_argument("control")
    orden.add_argument("valor", type=float, nargs="?")
    orden.set_defaults(funcion=OrdenValor)
    orden = ordenes.add_parser("escuchar")
    orden.add_argument("eventos", nargs="+")
    orden.set_defaults(funcion=OrdenEscuchar)
    for nombre, funcion in (("texto", OrdenTexto), ("estado", OrdenEstado)):
        orden = ordenes.add_parser(nombre)
        orden.add_argument("control")
        orden.set_defaults(funcion=funcion)
    return analizador.parse_args()


def main():
    argumentos = Argumentos()
    if argumentos.bus:
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = argumentos.bus
    plazo = time.monotonic() + argumentos.espera
    try:
        # The accessibility bus is the one the session bus names, not one
        # that an X server's root window may point to; libatspi ends the
        # process when it cannot reach it.
        os.environ.pop("DISPLAY", None)
        os.environ["AT_SPI_BUS_ADDRESS"] = DireccionAccesibilidad()
        import pyatspi  # noqa: F401 (connects to that bus)
        from gi.repository import Atspi

        Atspi.set_timeout(ESPERA_LLAMADA_MS, ESPERA_LLAMADA_MS)
        aplicacion = BuscarAplicacion(argumentos.aplicacion, plazo)
        argumentos.funcion(aplicacion, argumentos, plazo)
    except Fallo as fallo:
        print(str(fallo), file=sys.stderr)
        return fallo.codigo
    except Exception as error:  # D-Bus errors, a program that went away
        print("fallo: %s" % error, file=sys.stderr)
        return CODIGO_FALLO
    return 0


if __name__ == "__main__":
    sys.exit(main())
