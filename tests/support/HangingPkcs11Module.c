/* A PKCS#11 module for the tests that stands for a hostile driver: one slot
 * holding an initialised token ("pendente") that shows no certificate before
 * login. Built once per HANG_AT:
 *   1, 2, 3  C_Initialize, C_GetSlotList or C_Login never returns;
 *   4        C_Initialize prints a line on standard output, and the token
 *            holds one certificate object claiming 100 MiB;
 *   5        C_Initialize forks a helper that sleeps, writes its pid to the
 *            file named by PENDENTE_HELPER_PID, and never returns. */
#include <p11-kit/pkcs11.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#ifndef HANG_AT
#error "HANG_AT must name the call that hangs"
#endif

static void hang(void) {
    for (;;)
        pause();
}

static void forkHelper(void) {
    const pid_t helper = fork();
    if (helper == 0)
        hang();
    const char* file = getenv("PENDENTE_HELPER_PID");
    FILE* out = file ? fopen(file, "w") : NULL;
    if (out) {
        fprintf(out, "%d\n", (int)helper);
        fclose(out);
    }
}

static CK_RV initialize(CK_VOID_PTR args) {
    (void)args;
    if (HANG_AT == 4) {
        printf("pendente: driver iniciado\n");
        fflush(stdout);
    }
    if (HANG_AT == 5)
        forkHelper();
    if (HANG_AT == 1 || HANG_AT == 5)
        hang();
    return CKR_OK;
}

static CK_RV finalize(CK_VOID_PTR reserved) {
    (void)reserved;
    return CKR_OK;
}

static CK_RV getInfo(CK_INFO_PTR info) {
    memset(info, 0, sizeof *info);
    info->cryptokiVersion.major = 2;
    info->cryptokiVersion.minor = 40;
    memset(info->manufacturerID, ' ', sizeof info->manufacturerID);
    memset(info->libraryDescription, ' ', sizeof info->libraryDescription);
    return CKR_OK;
}

static CK_RV getSlotList(CK_BBOOL present, CK_SLOT_ID_PTR list, CK_ULONG_PTR count) {
    (void)present;
    if (HANG_AT == 2)
        hang();
    if (list) {
        if (*count < 1)
            return CKR_BUFFER_TOO_SMALL;
        list[0] = 1;
    }
    *count = 1;
    return CKR_OK;
}

static CK_RV getSlotInfo(CK_SLOT_ID slot, CK_SLOT_INFO_PTR info) {
    (void)slot;
    memset(info, ' ', sizeof *info);
    info->flags = CKF_TOKEN_PRESENT;
    info->hardwareVersion.major = info->firmwareVersion.major = 1;
    info->hardwareVersion.minor = info->firmwareVersion.minor = 0;
    return CKR_OK;
}

static CK_RV getTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
    (void)slot;
    memset(info, ' ', sizeof *info);
    memcpy(info->label, "pendente", 8);
    info->flags = CKF_TOKEN_INITIALIZED | CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED;
    return CKR_OK;
}

static CK_RV openSession(CK_SLOT_ID slot, CK_FLAGS flags, CK_VOID_PTR app, CK_NOTIFY notify,
                         CK_SESSION_HANDLE_PTR session) {
    (void)slot;
    (void)flags;
    (void)app;
    (void)notify;
    *session = 7;
    return CKR_OK;
}

static CK_RV closeSession(CK_SESSION_HANDLE session) {
    (void)session;
    return CKR_OK;
}

static CK_RV closeAllSessions(CK_SLOT_ID slot) {
    (void)slot;
    return CKR_OK;
}

static CK_RV login(CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin,
                   CK_ULONG length) {
    (void)session;
    (void)user;
    (void)pin;
    (void)length;
    if (HANG_AT == 3)
        hang();
    return CKR_PIN_INCORRECT;
}

static CK_RV logout(CK_SESSION_HANDLE session) {
    (void)session;
    return CKR_OK;
}

static CK_RV findObjectsInit(CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR templ, CK_ULONG count) {
    (void)session;
    (void)templ;
    (void)count;
    return CKR_OK;
}

static int objectsFound;

static CK_RV findObjects(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR objects, CK_ULONG max,
                         CK_ULONG_PTR count) {
    (void)session;
    *count = 0;
    if (HANG_AT == 4 && !objectsFound && max > 0) {
        objects[0] = 9;
        *count = 1;
        objectsFound = 1;
    }
    return CKR_OK;
}

static CK_RV getAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                               CK_ATTRIBUTE_PTR attributes, CK_ULONG count) {
    (void)session;
    (void)object;
    for (CK_ULONG i = 0; i < count; ++i) {
        if (attributes[i].pValue)
            return CKR_BUFFER_TOO_SMALL;
        attributes[i].ulValueLen = 100ul << 20;
    }
    return CKR_OK;
}

static CK_RV findObjectsFinal(CK_SESSION_HANDLE session) {
    (void)session;
    return CKR_OK;
}

static CK_FUNCTION_LIST functions;

CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
    functions.version.major = 2;
    functions.version.minor = 40;
    functions.C_Initialize = initialize;
    functions.C_Finalize = finalize;
    functions.C_GetInfo = getInfo;
    functions.C_GetFunctionList = C_GetFunctionList;
    functions.C_GetSlotList = getSlotList;
    functions.C_GetSlotInfo = getSlotInfo;
    functions.C_GetTokenInfo = getTokenInfo;
    functions.C_OpenSession = openSession;
    functions.C_CloseSession = closeSession;
    functions.C_CloseAllSessions = closeAllSessions;
    functions.C_Login = login;
    functions.C_Logout = logout;
    functions.C_FindObjectsInit = findObjectsInit;
    functions.C_FindObjects = findObjects;
    functions.C_FindObjectsFinal = findObjectsFinal;
    functions.C_GetAttributeValue = getAttributeValue;
    *list = &functions;
    return CKR_OK;
}
