// A PKCS#11 module for tests: one slot holding an initialised token that
// needs no login and holds no object, as some readers show an empty card.
// Only what a listing calls is answered; everything else is "not supported".
#include <p11-kit/pkcs11.h>

#include <cstring>

namespace {

CK_RV notSupported() {
    return CKR_FUNCTION_NOT_SUPPORTED;
}

void blank(CK_UTF8CHAR* field, std::size_t size, const char* text) {
    std::memset(field, ' ', size);
    std::memcpy(field, text, std::strlen(text));
}

CK_RV initialize(CK_VOID_PTR) {
    return CKR_OK;
}
CK_RV finalize(CK_VOID_PTR) {
    return CKR_OK;
}
CK_RV getInfo(CK_INFO_PTR info) {
    std::memset(info, 0, sizeof *info);
    info->cryptokiVersion = {2, 40};
    blank(info->manufacturerID, sizeof info->manufacturerID, "Valdoria testes");
    blank(info->libraryDescription, sizeof info->libraryDescription, "token vazio");
    return CKR_OK;
}
CK_RV getSlotList(CK_BBOOL, CK_SLOT_ID_PTR list, CK_ULONG_PTR count) {
    if (list && *count < 1) {
        *count = 1;
        return CKR_BUFFER_TOO_SMALL;
    }
    if (list)
        list[0] = 1;
    *count = 1;
    return CKR_OK;
}
CK_RV getSlotInfo(CK_SLOT_ID, CK_SLOT_INFO_PTR info) {
    std::memset(info, 0, sizeof *info);
    blank(info->slotDescription, sizeof info->slotDescription, "leitor");
    blank(info->manufacturerID, sizeof info->manufacturerID, "Valdoria testes");
    info->flags = CKF_TOKEN_PRESENT;
    return CKR_OK;
}
CK_RV getTokenInfo(CK_SLOT_ID, CK_TOKEN_INFO_PTR info) {
    std::memset(info, 0, sizeof *info);
    blank(info->label, sizeof info->label, "vazio");
    blank(info->manufacturerID, sizeof info->manufacturerID, "Valdoria testes");
    blank(info->model, sizeof info->model, "teste");
    blank(info->serialNumber, sizeof info->serialNumber, "1");
    info->flags = CKF_TOKEN_INITIALIZED; // no CKF_LOGIN_REQUIRED
    return CKR_OK;
}
CK_RV openSession(CK_SLOT_ID, CK_FLAGS, CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR session) {
    *session = 7;
    return CKR_OK;
}
CK_RV closeSession(CK_SESSION_HANDLE) {
    return CKR_OK;
}
CK_RV findObjectsInit(CK_SESSION_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG) {
    return CKR_OK;
}
CK_RV findObjects(CK_SESSION_HANDLE, CK_OBJECT_HANDLE_PTR, CK_ULONG, CK_ULONG_PTR found) {
    *found = 0;
    return CKR_OK;
}
CK_RV findObjectsFinal(CK_SESSION_HANDLE) {
    return CKR_OK;
}

CK_FUNCTION_LIST functions() {
    CK_FUNCTION_LIST f;
    // Every entry first points at the refusal (the module answers each call
    // it does not implement with "not supported", never with a crash).
    auto** entries = reinterpret_cast<void (**)()>(&f.C_Initialize);
    const std::size_t count =
        (sizeof f - offsetof(CK_FUNCTION_LIST, C_Initialize)) / sizeof(void (*)());
    for (std::size_t i = 0; i < count; ++i)
        entries[i] = reinterpret_cast<void (*)()>(&notSupported);
    f.version = {2, 40};
    f.C_Initialize = initialize;
    f.C_Finalize = finalize;
    f.C_GetInfo = getInfo;
    f.C_GetSlotList = getSlotList;
    f.C_GetSlotInfo = getSlotInfo;
    f.C_GetTokenInfo = getTokenInfo;
    f.C_OpenSession = openSession;
    f.C_CloseSession = closeSession;
    f.C_FindObjectsInit = findObjectsInit;
    f.C_FindObjects = findObjects;
    f.C_FindObjectsFinal = findObjectsFinal;
    return f;
}

CK_FUNCTION_LIST kFunctions = functions();

} // namespace

extern "C" __attribute__((visibility("default"))) CK_RV
C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
    *list = &kFunctions;
    return CKR_OK;
}
