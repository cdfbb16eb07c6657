// dadav-leitor-certificados: the short-lived child in which the client reads
// certificates from token drivers (PKCS#11 modules, through p11-kit) and the
// browsers' databases (NSS). One run reads one module or one database, so a
// driver that hangs or crashes costs one child, which the client kills at its
// time-out; the client itself never loads these libraries. Output: the
// records of CertificateFrames on the standard output it was started with;
// its own descriptor 1 then points at standard error, for the drivers.
//
// Usage:
//   dadav-leitor-certificados --modules         the modules registered with
//                                               p11-kit (none is started)
//   dadav-leitor-certificados --module FILE     the tokens and certificates
//                                               of one module
//   dadav-leitor-certificados --login FILE SLOT log into one token with the
//                                               PIN read from standard input,
//                                               then its certificates
//   dadav-leitor-certificados --nss FOLDER      the user certificates of one
//                                               NSS database
// Exit status: 0 with an end record, 1 with a failure record, 2 for a wrong
// command line (nothing written).
#include "certificates/CertificateFrames.h"

#include "certificates/ReaderOutput.h"
#include "childprocess/ChildOutput.h"

#include <p11-kit/p11-kit.h>

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using CertificateFrames::u32;
using ReaderOutput::fail;
using ReaderOutput::finish;

std::string taken(char* text) {
    std::string s = text ? text : "";
    std::free(text);
    return s;
}

int listModules() {
    // Loading maps the module files but starts none of them.
    CK_FUNCTION_LIST** modules = p11_kit_modules_load(nullptr, P11_KIT_MODULE_UNMANAGED);
    if (!modules)
        return fail(CKR_GENERAL_ERROR, "load", p11_kit_message() ? p11_kit_message() : "");
    for (CK_FUNCTION_LIST** m = modules; *m; ++m) {
        // The system's trust anchors are no user's certificates.
        if (taken(p11_kit_config_option(*m, "trust-policy")) == "yes")
            continue;
        std::string payload = taken(p11_kit_module_get_name(*m));
        payload += '\0';
        payload += taken(p11_kit_module_get_filename(*m));
        ReaderOutput::write('M', payload);
    }
    p11_kit_modules_release(modules);
    return finish();
}

class Module {
public:
    explicit Module(const char* file) : m_f(p11_kit_module_load(file, 0)) {
        if (m_f)
            m_rv = p11_kit_module_initialize(m_f);
    }
    ~Module() {
        if (m_f && m_rv == CKR_OK)
            p11_kit_module_finalize(m_f);
        if (m_f)
            p11_kit_module_release(m_f);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    CK_FUNCTION_LIST* f() const { return m_f; }
    CK_RV status() const { return m_rv; }

private:
    CK_FUNCTION_LIST* m_f;
    CK_RV m_rv = CKR_GENERAL_ERROR;
};

class Session {
public:
    Session(CK_FUNCTION_LIST* f, CK_SLOT_ID slot) : m_f(f) {
        m_rv = f->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &m_handle);
    }
    ~Session() {
        if (m_rv == CKR_OK)
            m_f->C_CloseSession(m_handle);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    CK_RV status() const { return m_rv; }
    CK_SESSION_HANDLE handle() const { return m_handle; }

private:
    CK_FUNCTION_LIST* m_f;
    CK_SESSION_HANDLE m_handle = 0;
    CK_RV m_rv = CKR_GENERAL_ERROR;
};

// Writes a 'C' record per X.509 certificate object the session sees, and an
// 'S' record per object that claims more than a record may hold; returns how
// many certificates.
int writeCertificates(CK_FUNCTION_LIST* f, CK_SESSION_HANDLE session) {
    CK_OBJECT_CLASS klass = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE type = CKC_X_509;
    CK_ATTRIBUTE query[] = {{CKA_CLASS, &klass, sizeof klass},
                            {CKA_CERTIFICATE_TYPE, &type, sizeof type}};
    std::vector<CK_OBJECT_HANDLE> objects;
    if (f->C_FindObjectsInit(session, query, 2) != CKR_OK)
        return 0;
    for (;;) {
        CK_OBJECT_HANDLE batch[32];
        CK_ULONG found = 0;
        if (f->C_FindObjects(session, batch, 32, &found) != CKR_OK || found == 0 || found > 32)
            break;
        objects.insert(objects.end(), batch, batch + found);
    }
    f->C_FindObjectsFinal(session);
    int written = 0;
    for (const CK_OBJECT_HANDLE object : objects) {
        CK_ATTRIBUTE value = {CKA_VALUE, nullptr, 0};
        if (f->C_GetAttributeValue(session, object, &value, 1) != CKR_OK ||
            value.ulValueLen == CK_UNAVAILABLE_INFORMATION || value.ulValueLen == 0)
            continue;
        if (value.ulValueLen > ChildFrames::kMaxPayload) {
            ReaderOutput::write('S', CertificateFrames::u64(value.ulValueLen));
            continue;
        }
        std::string der(value.ulValueLen, '\0');
        value.pValue = der.data();
        if (f->C_GetAttributeValue(session, object, &value, 1) != CKR_OK ||
            value.ulValueLen > der.size())
            continue;
        der.resize(value.ulValueLen);
        ReaderOutput::write('C', der);
        ++written;
    }
    return written;
}

std::vector<CK_SLOT_ID> slotsWithToken(CK_FUNCTION_LIST* f) {
    CK_ULONG count = 0;
    if (f->C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK || count > 4096)
        return {};
    std::vector<CK_SLOT_ID> ids(count);
    if (count && f->C_GetSlotList(CK_TRUE, ids.data(), &count) != CKR_OK)
        return {};
    ids.resize(std::min<std::size_t>(count, ids.size()));
    return ids;
}

int listModule(const char* file) {
    const Module module(file);
    if (!module.f())
        return fail(CKR_GENERAL_ERROR, "load", p11_kit_message() ? p11_kit_message() : "");
    if (module.status() != CKR_OK)
        return fail(module.status(), "init", p11_kit_strerror(module.status()));
    CK_FUNCTION_LIST* f = module.f();
    for (const CK_SLOT_ID slot : slotsWithToken(f)) {
        CK_TOKEN_INFO info{};
        // A reader's empty token (or SoftHSM's free slot) has nothing to list.
        if (f->C_GetTokenInfo(slot, &info) != CKR_OK || !(info.flags & CKF_TOKEN_INITIALIZED))
            continue;
        const std::string label = taken(p11_kit_space_strdup(info.label, sizeof info.label));
        const unsigned char flags =
            (info.flags & CKF_LOGIN_REQUIRED) ? CertificateFrames::kLoginRequired : 0;
        ReaderOutput::write('T', CertificateFrames::u64(slot) +
                                     std::string(1, static_cast<char>(flags)) + label);
        const Session session(f, slot);
        if (session.status() != CKR_OK) {
            std::string payload = u32(static_cast<std::uint32_t>(session.status())) + label;
            payload += '\0';
            payload += p11_kit_strerror(session.status());
            ReaderOutput::write('W', payload);
            continue;
        }
        writeCertificates(f, session.handle());
        ReaderOutput::flush();
    }
    return finish();
}

// The PIN as the client wrote it on standard input, at most 255 bytes.
std::size_t readPin(char* pin, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(STDIN_FILENO, pin + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

int login(const char* file, std::string_view slotText) {
    CK_SLOT_ID slot = 0;
    const auto [end, error] =
        std::from_chars(slotText.data(), slotText.data() + slotText.size(), slot);
    if (error != std::errc() || end != slotText.data() + slotText.size())
        return 2;
    char pin[256];
    const std::size_t length = readPin(pin, sizeof pin);
    const Module module(file);
    if (!module.f() || module.status() != CKR_OK) {
        ::explicit_bzero(pin, sizeof pin);
        return fail(module.f() ? module.status() : CKR_GENERAL_ERROR, module.f() ? "init" : "load");
    }
    CK_FUNCTION_LIST* f = module.f();
    const Session session(f, slot);
    if (session.status() != CKR_OK) {
        ::explicit_bzero(pin, sizeof pin);
        return fail(session.status(), "session");
    }
    const CK_RV rv = f->C_Login(session.handle(), CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(pin),
                                static_cast<CK_ULONG>(length));
    ::explicit_bzero(pin, sizeof pin);
    if (rv != CKR_OK && rv != CKR_USER_ALREADY_LOGGED_IN)
        return fail(rv, "login", p11_kit_strerror(rv));
    writeCertificates(f, session.handle());
    f->C_Logout(session.handle());
    return finish();
}

int usage() {
    std::fputs("uso: dadav-leitor-certificados --modules | --module ARQUIVO | "
               "--login ARQUIVO SLOT | --nss PASTA\n",
               stderr);
    return 2;
}

} // namespace

// As in the Access reader: a crash inside a driver is left to kill the child
// by its signal, in test builds too, so the tests meet the crash users meet.
extern "C" const char* __ubsan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0";
}

int main(int argc, char** argv) {
    // Before any driver is loaded: what a driver prints must not reach the
    // records.
    ChildOutput::keepRecordsPrivate();
    const std::string_view mode = argc >= 2 ? argv[1] : "";
    ReaderOutput::write('V', CertificateFrames::kVersion);
    int status = 2;
    if (mode == "--modules" && argc == 2)
        status = listModules();
    else if (mode == "--module" && argc == 3)
        status = listModule(argv[2]);
    else if (mode == "--login" && argc == 4)
        status = login(argv[2], argv[3]);
    else if (mode == "--nss" && argc == 3)
        status = listNssDatabase(argv[2]);
    return status == 2 ? usage() : status;
}
