// The collaborators every window gets, built once by main.cpp (real desktop
// services) and by tests (a temporary application folder, the simulator and
// scripted fakes). The context owns nothing: whoever builds it keeps the
// objects alive for as long as any window runs.
#pragma once

#include "platform/Clock.h"

#include <chrono>
#include <functional>

class Prompter;
class UrlOpener;
class SoapClient;
class WindowRegistry;
class ProgramState;
class CertificatePicker;
class CertificateSearch;
class FilePicker;
class Pause;
class ProxyAuth;
class FolderOpener;
class PinPrompter;

struct AppContext {
    Prompter* prompter = nullptr;   // message boxes
    UrlOpener* urlOpener = nullptr; // the desktop's browser
    SoapClient* soap = nullptr;     // SOAP calls to the municipal server
    WindowRegistry* windows = nullptr;
    CertificatePicker* certificates = nullptr; // the user's certificate store and its dialog
    // Where certificates are looked for (the certificates window and the
    // start-up expiry notice); null: the notice stays off.
    const CertificateSearch* certificateSearch = nullptr;
    FilePicker* files = nullptr; // the open-file dialog
    Pause* pause = nullptr;      // fixed pauses of the window thread (Simples Nacional upload)
    // Today's date and the time now, for every window (reference months,
    // certificates' days left, archive records); never null. Tests set it.
    Clock* clock = &systemClock();
    // Answers a proxy's demand for a password for the uploads (the SOAP
    // transport holds the same one); null: such a proxy fails the upload.
    ProxyAuth* proxyAuth = nullptr;
    // A token's PIN ("Entrar no token..." in the certificates window); null:
    // tokens that need their PIN are not offered there.
    PinPrompter* pins = nullptr;
    // The desktop's file manager ("Abrir pasta de registros").
    FolderOpener* folders = nullptr;

    // Whether the main window follows every sending to its outcome (at
    // start, then on a growing schedule): the program sets it; tests that
    // count the server's requests leave it off. followUpMinute is how long
    // a minute of that schedule lasts.
    bool followSendings = false;
    std::chrono::milliseconds followUpMinute = std::chrono::minutes(1);

    // Program-wide state. Owned by the main window, which points this at its
    // own state while it is loaded; a test without a main window may point it
    // at a state of its own.
    ProgramState* state = nullptr;

    // Ends the program at once ("Sair"): main.cpp leaves the event loop, the
    // registry then destroys every window. Tests record the call instead.
    std::function<void()> quit;
};
