// The collaborators every window gets, built once by main.cpp (real desktop
// services) and by tests (a temporary application folder, the simulator and
// scripted fakes). The context owns nothing: whoever builds it keeps the
// objects alive for as long as any window runs.
#pragma once

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
class Clock;
class ProxyAuth;
class FolderOpener;

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
    Clock* clock = nullptr;      // today's date (reference months); null: the system clock
    // Answers a proxy's demand for a password for the uploads (the SOAP
    // transport holds the same one); null: such a proxy fails the upload.
    ProxyAuth* proxyAuth = nullptr;
    // The desktop's file manager ("Abrir pasta de registros").
    FolderOpener* folders = nullptr;

    // Program-wide state. Owned by the main window, which points this at its
    // own state while it is loaded; a test without a main window may point it
    // at a state of its own.
    ProgramState* state = nullptr;

    // Ends the program at once ("Sair"): main.cpp leaves the event loop, the
    // registry then destroys every window. Tests record the call instead.
    std::function<void()> quit;
};
