// Reading the user certificates of one NSS database, inside the reader
// child: opened read-only, without the module list and without the built-in
// authorities; only certificates with a private key in the database (the
// user's own) are listed, and the key is never read.
#include "certificates/ReaderOutput.h"
#include "childprocess/ChildFrames.h"

#include <cert.h>
#include <nss.h>
#include <pk11pub.h>
#include <prerror.h>

#include <string>
#include <string_view>

int listNssDatabase(const char* folder) {
    const std::string configDir = std::string("sql:") + folder;
    NSSInitContext* context = NSS_InitContext(configDir.c_str(), "", "", "", nullptr,
                                              NSS_INIT_READONLY | NSS_INIT_NOROOTINIT |
                                                  NSS_INIT_NOMODDB | NSS_INIT_OPTIMIZESPACE);
    if (!context) {
        const PRErrorCode code = PR_GetError();
        const char* name = PR_ErrorToName(code);
        return ReaderOutput::fail(static_cast<unsigned long>(code), "nss", name ? name : "?");
    }
    if (CERTCertList* list = PK11_ListCerts(PK11CertListUserUnique, nullptr)) {
        // The list's nodes start with their links (what NSS's own list
        // macros rely on, written out here without their C casts).
        for (PRCList* link = list->list.next; link != &list->list; link = link->next) {
            const CERTCertListNode* node = reinterpret_cast<const CERTCertListNode*>(link);
            if (node->cert->derCert.len > ChildFrames::kMaxPayload) {
                ReaderOutput::write('S', ChildFrames::u64(node->cert->derCert.len));
                continue;
            }
            ReaderOutput::write(
                'C', std::string_view(reinterpret_cast<const char*>(node->cert->derCert.data),
                                      node->cert->derCert.len));
        }
        CERT_DestroyCertList(list);
    }
    NSS_ShutdownContext(context);
    return ReaderOutput::finish();
}
