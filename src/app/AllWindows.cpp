// Registration of every window class.
#include "app/AllWindows.h"

#include "about/frmSobre.h"
#include "accountant/frmContador.h"
#include "app/Abertura.h"
#include "app/Principal.h"
#include "app/WindowRegistry.h"
#include "declaration/frmUpload.h"
#include "registry/ImportarEmpresas.h"
#include "simples/frmUploadSimples.h"

void registerAllWindows(WindowRegistry& registry) {
    registry.registerWindow<Abertura>();
    registry.registerWindow<Principal>();
    registry.registerWindow<frmSobre>();
    registry.registerWindow<frmUpload>();
    registry.registerWindow<frmUploadSimples>();
    registry.registerWindow<ImportarEmpresas>();
    registry.registerWindow<frmContador>();
    registry.registerWindow<frmContador>();
}
