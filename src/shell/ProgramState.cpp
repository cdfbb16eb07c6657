// Program-wide state shared by the windows.
#include "shell/ProgramState.h"

void ProgramState::setTaxpayer(const QString& ie, const QString& razaoSocial,
                               const QString& chave) {
    if (ie == m_ie && razaoSocial == m_razaoSocial && chave == m_chave)
        return;
    m_ie = ie;
    m_razaoSocial = razaoSocial;
    m_chave = chave;
    emit taxpayerChanged();
}

// This class's meta-object code is built into this file's own object, not
// the library's combined one: a program that links only this class does
// not pull every other class of the library with it (src/CMakeLists.txt).
#include "moc_ProgramState.cpp"
