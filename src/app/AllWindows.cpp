// Registration of every window class.
#include "app/AllWindows.h"

#include "about/frmSobre.h"
#include "accountant/frmContador.h"
#include "app/Abertura.h"
#include "app/Principal.h"
#include "archivewindow/ArchiveWindow.h"
#include "batchwindow/BatchWindow.h"
#include "certificateswindow/CertificatesWindow.h"
#include "connection/ConnectionSettingsWindow.h"
#include "diagnostics/DiagnosticsWindow.h"
#include "overview/OverviewWindow.h"
#include "registry/ImportarEmpresas.h"
#include "registry/frmtbl_CadastroContribuinte.h"
#include "registry/frmtbl_CriaContribuinte.h"
#include "registry/frmtbl_SelecionaContribuinte.h"
#include "registry/frmtbl_atualizarContribuinte.h"
#include "registry/frmtbl_exclusaoContribuinte.h"
#include "shell/WindowRegistry.h"
#include "transmission/frmUpload.h"
#include "transmission/frmUploadSimples.h"

void registerAllWindows(WindowRegistry& registry) {
    registry.registerWindow<Abertura>();
    registry.registerWindow<Principal>();
    registry.registerWindow<frmSobre>();
    registry.registerWindow<frmUpload>();
    registry.registerWindow<frmUploadSimples>();
    registry.registerWindow<frmtbl_CriaContribuinte>();
    registry.registerWindow<frmtbl_CadastroContribuinte>();
    registry.registerWindow<frmtbl_SelecionaContribuinte>();
    registry.registerWindow<frmtbl_atualizarContribuinte>();
    registry.registerWindow<frmtbl_exclusaoContribuinte>();
    registry.registerWindow<ImportarEmpresas>();
    registry.registerWindow<frmContador>();
    registry.registerWindow<ConnectionSettingsWindow>();
    registry.registerWindow<CertificatesWindow>();
    registry.registerWindow<DiagnosticsWindow>();
    registry.registerWindow<OverviewWindow>();
    registry.registerWindow<ArchiveWindow>();
    registry.registerWindow<BatchWindow>();
}
